// VyraLauncher.exe end to end: started in a work folder that holds the test
// doubles cscript.exe and Prepar3D.exe, which record the arguments they get.
#include <gtest/gtest.h>

#include "harness.h"

namespace {

std::string BinFolder() {
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string self(path, length);
  return self.substr(0, self.rfind('\\') + 1);
}

struct Outcome {
  DWORD exitCode = ~0u;
  std::string registered, started;  // one line per run of each double
};

// Starts the launcher in `work` with `tail` after its quoted name.
Outcome Launch(const std::string& work, const std::string& tail = "") {
  for (const char* exe : {"cscript.exe", "Prepar3D.exe"})
    CopyFileA((BinFolder() + exe).c_str(), (work + "\\" + exe).c_str(), FALSE);
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
  return run;
}

std::string Registration(const std::string& folder) {
  return "[modify_dlls.vbs][" + folder + "\\dll.xml][VYRA_02.dll]\n";
}

const char* const kWrong =
    "[GRAPHICS]\r\nHDR=1\r\n[Display]\r\nFullScreen=True\r\nVSYNC=1\r\n"
    "[USERINTERFACE]\r\nMUTE_ON_LOST_FOCUS=1\r\n";

}  // namespace

TEST(Launcher, StartsTheSimulatorUnlessTheTextIsExactlyConfig) {
  struct {
    const char* tail;
    bool starts;
  } cases[] = {{"", true},          {" config", false},    {"   config", false},
               {"\tconfig", false}, {"config", true},      {" Config", true},
               {" config ", true},  {" \"config\"", true}, {" config now", true}};
  for (const auto& c : cases) {
    std::string work = NewFolder();
    std::string folder = MakeSimulatorFolder(work, kWrong);
    SetFolders(work.c_str(), nullptr);
    Outcome run = Launch(work, c.tail);
    EXPECT_EQ(run.exitCode, 0u) << c.tail;
    EXPECT_EQ(run.registered, Registration(folder)) << c.tail;
    EXPECT_EQ(run.started, c.starts ? "\n" : "") << c.tail;
  }
}

TEST(Launcher, CorrectsTheFileForTheTimewarpModeAndRegistersTheModule) {
  struct {
    const char* vyra;
    const char* vsync;
  } cases[] = {{"", "0"}, {"[VYRA]\r\nAsync=False\r\n", "1"}, {"[VYRA]\r\nAsync=\r\n", "1"}};
  for (const auto& c : cases) {
    std::string work = NewFolder("Jane Doe");
    std::string cfg = MakeSimulatorFolder(work, kWrong + std::string(c.vyra)) + "\\Prepar3D.cfg";
    SetFolders(work.c_str(), nullptr);
    EXPECT_EQ(Launch(work).exitCode, 0u);
    EXPECT_EQ(Value(cfg, "GRAPHICS", "HDR"), "0");
    EXPECT_EQ(Value(cfg, "Display", "FullScreen"), "False");
    EXPECT_EQ(Value(cfg, "USERINTERFACE", "MUTE_ON_LOST_FOCUS"), "0");
    EXPECT_EQ(Value(cfg, "Display", "VSYNC"), c.vsync) << c.vyra;
  }
}

TEST(Launcher, HandsTheScriptTheFolderAsOneArgumentWhateverItsCharacters) {
  for (const char* user : {"Jane Doe", "R&D", "x^y", "a (b)", "Hi!", "100%", "Zo\xEB"}) {
    std::string work = NewFolder(user);
    std::string folder = MakeSimulatorFolder(work, "");
    SetFolders(work.c_str(), nullptr);
    Outcome run = Launch(work);
    EXPECT_EQ(run.registered, Registration(folder)) << user;
    EXPECT_EQ(run.started, "\n") << user;
  }
}

TEST(Launcher, WithoutASimulatorFolderOnlyStartsTheSimulator) {
  std::string work = NewFolder();
  SetFolders(nullptr, work.c_str());
  Outcome run = Launch(work);
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_EQ(run.registered, "");
  EXPECT_EQ(run.started, "\n");
  for (const char* file : {"\\Prepar3D.cfg", "\\dll.xml"})
    EXPECT_FALSE(PathFileExistsA((work.substr(0, 2) + file).c_str())) << file;
}
