// VyraLauncher.exe end to end: started in a work folder that holds the test
// doubles cscript.exe and Prepar3D.exe, which record the arguments they get.
#include <gtest/gtest.h>

#include "harness.h"

namespace {

std::string BinFolder() {
  char path[MAX_PATH];
  std::string self(path, GetModuleFileNameA(nullptr, path, MAX_PATH));
  return self.substr(0, self.rfind('\\') + 1);
}

struct Outcome {
  DWORD exitCode = ~0u;
  std::string registered, started;  // one line per run of each double
};

// Starts the launcher in `work` with `tail` after its quoted name, and checks
// that nothing below `work` or at the top of its drive changed but `cfg`.
Outcome Launch(const std::string& work, const std::string& cfg, const std::string& tail = "") {
  for (const char* exe : {"cscript.exe", "Prepar3D.exe"})
    CopyFileA((BinFolder() + exe).c_str(), (work + "\\" + exe).c_str(), FALSE);
  auto before = Tree(work), rootBefore = Tree(work.substr(0, 2), false);

  std::string commandLine = "\"" + BinFolder() + "VyraLauncher.exe\"" + tail;
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  Outcome run;
  if (CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, work.c_str(),
                     &startup, &process)) {
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &run.exitCode);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
  }
  run.registered = ReadText(work + "\\cscript.log");
  run.started = ReadText(work + "\\Prepar3D.log");

  auto after = Tree(work);
  std::string changed = cfg;  // as the folder listing spells it
  for (size_t at; (at = changed.find("\\\\", 1)) != std::string::npos;) changed.erase(at, 1);
  for (auto* tree : {&before, &after})
    for (const std::string& path : {changed, work + "\\cscript.log", work + "\\Prepar3D.log"})
      tree->erase(path);
  EXPECT_TRUE(before == after) << "a file other than " << cfg << " changed";
  EXPECT_TRUE(rootBefore == Tree(work.substr(0, 2), false)) << "the drive's root changed";
  return run;
}

std::string Registration(const std::string& folder) {
  return "[modify_dlls.vbs][" + folder + "\\dll.xml][VYRA_02.dll]\n";
}

// HDR, FullScreen, MUTE_ON_LOST_FOCUS and VSYNC as the file holds them; "-" when absent.
std::string Settings(const std::string& cfg) {
  return Value(cfg, "GRAPHICS", "HDR") + "," + Value(cfg, "Display", "FullScreen") + "," +
         Value(cfg, "USERINTERFACE", "MUTE_ON_LOST_FOCUS") + "," + Value(cfg, "Display", "VSYNC");
}

const char* const kWrong =
    "[GRAPHICS]\r\nHDR=1\r\n[Display]\r\nFullScreen=True\r\nVSYNC=1\r\n"
    "[USERINTERFACE]\r\nMUTE_ON_LOST_FOCUS=1\r\n";

}  // namespace

TEST(Launcher, RegistersTheFolderAsOneArgumentAndStartsUnlessTheTextIsConfig) {
  struct {
    const char *user, *tail;
    bool starts;
  } cases[] = {
      {"Jane Doe", "", true},       {"R&D", " config", false},     {"x^y", "   config", false},
      {"a (b)", "\tconfig", false}, {"Hi!", "config", true},       {"100%", " Config", true},
      {"Zo\xEB", " config ", true}, {"case", " \"config\"", true}, {"case", " config now", true}};
  for (const auto& c : cases) {
    std::string work = NewFolder(c.user);
    std::string folder = MakeSimulatorFolder(work, kWrong);
    SetFolders(work.c_str(), nullptr);
    Outcome run = Launch(work, folder + "\\Prepar3D.cfg", c.tail);
    EXPECT_EQ(run.exitCode, 0u) << c.tail;
    EXPECT_EQ(run.registered, Registration(folder)) << c.user;
    EXPECT_EQ(run.started, c.starts ? "\n" : "") << c.tail;
    EXPECT_EQ(Settings(folder + "\\Prepar3D.cfg"), "0,False,0,0");
  }
}

TEST(Launcher, KeepsEveryOtherSettingOfALargeFile) {
  std::string text;
  for (int section = 0; section < 300; ++section) {
    text += "; tuned by hand\r\n[Section" + std::to_string(section) + "]\r\n";
    for (int key = 0; key < 10; ++key)
      text += "Key" + std::to_string(key) + "=value " + std::to_string(section * 10 + key) + "\r\n";
    text += section == 150 ? kWrong : "\r\n";
  }
  std::string work = NewFolder();
  std::string cfg = MakeSimulatorFolder(work, text) + "\\Prepar3D.cfg";
  SetFolders(work.c_str(), nullptr);
  Launch(work, cfg);
  EXPECT_EQ(Settings(cfg), "0,False,0,0");
  int lost = 0;
  for (int n = 0; n < 3000; ++n)
    lost += Value(cfg, ("Section" + std::to_string(n / 10)).c_str(),
                  ("Key" + std::to_string(n % 10)).c_str()) != "value " + std::to_string(n);
  EXPECT_EQ(lost, 0);
  std::string corrected = ReadText(cfg);
  size_t comments = 0;
  for (size_t at = 0; (at = corrected.find("; tuned by hand\r\n", at)) != std::string::npos; ++at)
    ++comments;
  EXPECT_EQ(comments, 300u);
  EXPECT_EQ(Launch(work, cfg).exitCode, 0u);
  EXPECT_EQ(ReadText(cfg), corrected);
}

TEST(Launcher, CorrectsWhatThePlatformLetsItWhateverTheFileHolds) {
  std::string garbage;
  for (unsigned n = 0, x = 7; n < 4096; ++n) garbage += char((x = x * 1103515245u + 12345u) >> 24);
  std::string sync = kWrong + std::string("[VYRA]\r\nAsync=False\r\n"), longValue(1500, 'x');
  // Wine, run as root here, writes through the read-only attribute as root
  // may on Unix; a file held open without sharing stays out of reach.
  enum Kind { kFile, kReadOnly, kLocked, kFolder };
  struct {
    std::string cfg;
    Kind kind;
    const char* after;
  } cases[] = {
      {kWrong, kFile, "0,False,0,0"},
      {sync, kFile, "0,False,0,1"},
      {kWrong + std::string("[VYRA]\r\nAsync=\r\n"), kFile, "0,False,0,1"},
      {"", kFile, "-,False,0,-"},
      {garbage, kFile, "-,False,0,-"},
      {"", kFolder, "-,-,-,-"},
      {sync, kReadOnly, "0,False,0,1"},
      {sync, kLocked, "1,True,1,1"},
      {"[graphics]\r\nhdr=1\r\n", kFile, "0,False,0,-"},
      {"[GRAPHICS]\r\n  HDR =  1  \r\n", kFile, "0,False,0,-"},
      {"[GRAPHICS]\r\nHDR=0\r\n[GRAPHICS]\r\nHDR=1\r\n", kFile, "0,False,0,-"},
      {"[Main]\r\nLong=" + longValue + "\r\n", kFile, "-,False,0,-"},
  };
  for (const auto& c : cases) {
    std::string work = NewFolder();
    std::string folder = MakeSimulatorFolder(work, c.cfg), cfg = folder + "\\Prepar3D.cfg";
    if (c.kind == kFolder) DeleteFileA(cfg.c_str()), CreateDirectoryA(cfg.c_str(), nullptr);
    if (c.kind == kReadOnly) SetFileAttributesA(cfg.c_str(), FILE_ATTRIBUTE_READONLY);
    HANDLE lock = CreateFileA(cfg.c_str(), GENERIC_READ, c.kind == kLocked ? 0 : FILE_SHARE_READ,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (c.kind != kLocked) CloseHandle(lock);
    SetFolders(work.c_str(), nullptr);
    Outcome run = Launch(work, c.kind == kLocked || c.kind == kFolder ? "" : cfg);
    if (c.kind == kLocked) CloseHandle(lock);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.registered + run.started, Registration(folder) + "\n");
    EXPECT_EQ(Settings(cfg), c.after) << c.cfg.substr(0, 60);
    if (c.cfg.compare(0, 6, "[Main]") == 0) {
      EXPECT_EQ(Value(cfg, "Main", "Long"), longValue);
    }
  }
}

TEST(Launcher, UsesTheFirstFolderVariableThatQualifies) {
  enum Value { kFolder, kFolderSlash, kUnset, kEmpty, kTooLong };
  struct {
    Value appdata;
    bool inAppdata, inLocal;
    char chosen;  // 'A', 'L' or '-' for none
  } cases[] = {
      {kFolder, true, true, 'A'}, {kFolderSlash, true, false, 'A'}, {kUnset, false, true, 'L'},
      {kEmpty, false, true, 'L'}, {kTooLong, false, true, 'L'},     {kFolder, false, false, '-'},
  };
  for (const auto& c : cases) {
    std::string work = NewFolder(), appdata = work + "\\Roaming", local = work + "\\Local";
    std::string value = c.appdata == kTooLong       ? appdata + std::string(1100, 'x')
                        : c.appdata == kFolderSlash ? appdata + "\\"
                                                    : appdata;
    CreateDirectoryA(appdata.c_str(), nullptr);
    CreateDirectoryA(local.c_str(), nullptr);
    std::string inAppdata = c.inAppdata ? MakeSimulatorFolder(value, kWrong) : "";
    std::string inLocal = c.inLocal ? MakeSimulatorFolder(local, kWrong) : "";
    SetFolders(c.appdata == kUnset   ? nullptr
               : c.appdata == kEmpty ? ""
                                     : value.c_str(),
               local.c_str());
    std::string chosen = c.chosen == 'A' ? inAppdata : c.chosen == 'L' ? inLocal : "";
    Outcome run = Launch(work, chosen.empty() ? "" : chosen + "\\Prepar3D.cfg");
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.registered, chosen.empty() ? "" : Registration(chosen)) << value;
    EXPECT_EQ(run.started, "\n");
    if (!chosen.empty()) {
      EXPECT_EQ(Settings(chosen + "\\Prepar3D.cfg"), "0,False,0,0");
    }
  }
}
