// The case files of tests/cases (the README tells their form), each run by
// starting VyraLauncher.exe twice in a work folder set up as the case says;
// then what only the launcher's own process sees.
#include <gtest/gtest.h>
#include <process.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <thread>
#include <vector>

#include "check.h"
#include "launcher.h"
#include "platform.h"
#include "simconfig.h"

// A path made from narrow text reads it in the ANSI code page, as the launcher does;
// path::string() gives UTF-8, so Below's names are compared only with names it spelled.
namespace fs = std::filesystem;

// Starts `command` (the program `program`, else the command's first word) in `folder`.
static PROCESS_INFORMATION Start(std::string command, const char* program = nullptr,
                                 const char* folder = nullptr, DWORD flags = 0) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  EXPECT_TRUE(CreateProcessA(program, command.data(), nullptr, nullptr, FALSE, flags, nullptr,
                             folder, &startup, &process))
      << command;
  return process;
}

// Waits for the process to end and gives its exit code.
static DWORD Finish(const PROCESS_INFORMATION& process) {
  DWORD code = 1;
  WaitForSingleObject(process.hProcess, INFINITE);
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  return code;
}

// Starts a Unix program in `folder`, as Wine lets a Windows program do. Wine gives
// no handle to wait on: the caller waits for the program's effect.
static void StartUnix(const std::string& command, const std::string& folder) {
  Start(command, ("/bin/" + command.substr(0, command.find(' '))).c_str(), folder.c_str());
}

// An empty folder, emptied if it was there. Under Wine, a Windows program cannot
// remove a symbolic link whose target is gone: such a folder moves aside and is
// removed from the Linux side.
static std::string NewFolder(const fs::path& folder) {
  static int asides = 0;
  std::error_code failed;
  for (const auto& entry : fs::recursive_directory_iterator(folder, failed))
    SetFileAttributesW(entry.path().c_str(), FILE_ATTRIBUTE_NORMAL);  // read-only files too
  if (fs::remove_all(folder, failed), failed) {
    std::string aside = folder.filename().string() + ".gone" + std::to_string(++asides);
    fs::rename(folder, folder.parent_path() / aside);
    StartUnix("rm -rf " + aside, folder.parent_path().string());
  }
  fs::create_directories(folder);
  return folder.string();
}

// Writes `text` to `path`, making the folders on the way ("...\" makes only folders).
static void WriteText(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

static std::string ReadText(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), {}};
}

using Tree = std::map<std::string, std::string>;

// What an entry holds: its bytes, or "<folder>".
static std::string Bytes(const fs::directory_entry& entry) {
  return entry.is_directory() ? "<folder>" : ReadText(entry.path());
}

// An entry's read-only, hidden and system attributes, as letters.
static std::string Attributes(const fs::directory_entry& entry) {
  DWORD attributes = GetFileAttributesW(entry.path().c_str());
  std::string letters;
  for (auto [attribute, letter] : {std::pair{FILE_ATTRIBUTE_READONLY, 'R'},
                                   {FILE_ATTRIBUTE_HIDDEN, 'H'}, {FILE_ATTRIBUTE_SYSTEM, 'S'}})
    if (attributes & attribute) letters += letter;
  return letters;
}

// Every entry below `folder` (only in it, with a directory_iterator) and what it holds.
template <class Entries = fs::recursive_directory_iterator>
static Tree Below(const std::string& folder, std::string (*read)(const fs::directory_entry&) = Bytes) {
  Tree tree;
  for (const auto& entry : Entries(folder)) tree[entry.path().string()] = read(entry);
  return tree;
}

// `text` with each %NAME% of a set variable replaced by its value.
static std::string Expand(const std::string& text) {
  static char space[32768];
  return std::string(space, ExpandEnvironmentStringsA(text.c_str(), space, sizeof space) - 1);
}

// True when the small disk is there: a drive of a few hundred KB, never a real disk.
static bool SmallDisk() {
  ULARGE_INTEGER size;
  return GetDiskFreeSpaceExA(SMALL_DISK, nullptr, &size, nullptr) && size.QuadPart <= 4 << 20;
}

static unsigned long long FreeBytes(const std::string& path) {
  ULARGE_INTEGER free = {};
  GetDiskFreeSpaceExA(path.substr(0, 3).c_str(), &free, nullptr, nullptr);
  return free.QuadPart;
}

// What a case file says: where the launcher runs, what is there before, how it
// is started, and what changes.
struct CaseFile {
  std::string work;                           // the work folder
  std::string tail;                           // the command line after the program's name
  std::map<std::string, std::string> before;  // files, and folders ending in "\", and their bytes
  std::map<std::string, std::string> after;   // the files that change, and their new bytes
  std::set<std::string> gone;                 // the files that are removed
  std::set<std::string> rootFolders;          // the folders at the drive's root the case names
  std::map<std::string, DWORD> attributes;    // files and folders given attributes
  std::map<std::string, std::string> links;   // symbolic links ("symlink") and their targets
  std::map<std::string, std::string> names;   // second names ("hardlink") and their files
  std::string held;                           // a file held open without sharing
  long long leaveFree = -1;                   // fill the small disk until this many bytes are free
  int launchers = 1;                          // started at the same moment
  int rounds = 1;                             // times the case is set up anew and run twice
  std::string turn;  // "held" by the runner while the launchers start, or "abandoned" before
};

// The attributes that directives give.
static const std::map<std::string, DWORD> kAttributes = {{"readonly", FILE_ATTRIBUTE_READONLY},
                                                         {"hidden", FILE_ATTRIBUTE_HIDDEN},
                                                         {"system", FILE_ATTRIBUTE_SYSTEM}};

// A path of the case: below the work folder, or at the drive's root when it starts with "\".
static std::string Place(CaseFile& c, const std::string& path) {
  if (path[0] != '\\') return c.work + "\\" + path;
  c.rootFolders.insert(c.work.substr(0, 2) + path.substr(0, path.find('\\', 1)));
  return c.work.substr(0, 2) + path;
}

// Reads tests/cases/NAME.case, setting the variables it sets.
static CaseFile ReadCase(const std::string& name) {
  CaseFile c;
  c.work = NewFolder(fs::temp_directory_path() / "vyra" / name);
  std::string line, *text = nullptr;
  for (const char* variable : {"APPDATA", "LOCALAPPDATA"})
    SetEnvironmentVariableA(variable, nullptr);
  SetEnvironmentVariableA("WORK", c.work.c_str());
  SetEnvironmentVariableA("PATH", BIN_DIR);  // where cmd finds the test doubles
  for (std::ifstream file(TESTS_DIR "cases\\" + name + ".case"); std::getline(file, line);) {
    line = Expand(line);  // once per line, directive or file text
    std::string word = line.substr(0, line.find(' '));
    std::string rest = line.substr(std::min(line.size(), word.size() + 1));
    size_t data = rest.find(" < "), equals = rest.find('='), arrow = rest.find(" > ");
    if (word == "---" || word == "+++") {
      text = &(word == "---" ? c.before : c.after)[Place(c, rest.substr(0, data))];
      if (data != std::string::npos) *text = ReadText(TESTS_DIR "data\\" + rest.substr(data + 3));
    } else if (text) {
      *text += line + "\r\n";
    } else if (word == "set") {
      SetEnvironmentVariableA(rest.substr(0, equals).c_str(), rest.substr(equals + 1).c_str());
    } else if (word == "command") {
      c.tail = rest.substr(18);  // after "VyraLauncher.exe" in quotes
    } else if (kAttributes.count(word)) {
      c.attributes[Place(c, rest)] |= kAttributes.at(word);
    } else if (word == "hold") {
      c.held = Place(c, rest);
    } else if (word == "symlink") {
      c.links[Place(c, rest.substr(0, arrow))] = rest.substr(arrow + 3);
    } else if (word == "hardlink") {
      c.names[Place(c, rest.substr(0, arrow))] = Place(c, rest.substr(arrow + 3));
    } else if (word == "launchers" || word == "rounds") {
      (word == "rounds" ? c.rounds : c.launchers) = std::stoi(rest);
    } else if (word == "turn") {
      c.turn = rest;
    } else if (word == "gone") {
      c.gone.insert(Place(c, rest));
    } else if (word == "free") {  // the work folder moves to the small disk
      c.leaveFree = std::stoll(rest);
      if (!SmallDisk()) return c;
      SetEnvironmentVariableA("WORK", (c.work = NewFolder(SMALL_DISK + name)).c_str());
    } else if (!line.empty() && line[0] != '#') {
      ADD_FAILURE() << "not understood: " << line;
    }
  }
  return c;
}

// Every entry below the work folder and the root folders the case names, and what it holds.
static Tree Snapshot(const CaseFile& c, std::string (*read)(const fs::directory_entry&) = Bytes) {
  auto tree = Below(c.work, read);
  for (const auto& folder : c.rootFolders)  // a file there is seen in the root's own listing
    if (fs::is_directory(folder)) tree.merge(Below(folder, read));
  return tree;
}

// Makes `link` a symbolic link to `target` from the Linux side: under Wine, a
// Windows program cannot make one.
static void MakeSymbolicLink(const fs::path& link, const std::string& target) {
  constexpr int kTries = 100, kTryEveryMs = 50;
  fs::create_directories(link.parent_path());
  StartUnix("ln -s " + target + " " + link.filename().string(), link.parent_path().string());
  for (int tries = 0; !fs::exists(link) && tries < kTries; ++tries) Sleep(kTryEveryMs);
  EXPECT_TRUE(fs::exists(link)) << "no symbolic link " << link.string() << " to " << target;
}

// The time the runner holds the turn for "turn held": a launcher that did not
// wait for it would have corrected and registered by then.
constexpr DWORD kTurnHeldMs = 2000;

// Starts the case's launchers at the same moment and waits for them, each to exit
// with 0. With "turn held", the runner holds the turn while they start and checks
// that they wait for it, writing nothing; with "turn abandoned", a thread takes
// the turn and ends without giving it back, as a launcher that died would.
static void Launch(const CaseFile& c, const std::string& command) {
  HANDLE turn = CreateMutexA(nullptr, FALSE, kTurnName);
  if (c.turn == "held") WaitForSingleObject(turn, INFINITE);
  if (c.turn == "abandoned") std::thread([turn] { WaitForSingleObject(turn, INFINITE); }).join();
  auto before = Snapshot(c);
  std::vector<PROCESS_INFORMATION> launchers;
  for (int i = 0; i < c.launchers; ++i)
    launchers.push_back(Start(command, nullptr, nullptr, CREATE_SUSPENDED));
  for (const auto& launcher : launchers) ResumeThread(launcher.hThread);
  if (c.turn == "held") {
    Sleep(kTurnHeldMs);
    for (const auto& launcher : launchers)
      EXPECT_EQ(WaitForSingleObject(launcher.hProcess, 0), WAIT_TIMEOUT) << "did not wait";
    EXPECT_TRUE(Snapshot(c) == before) << "written while the runner held the turn";
    ReleaseMutex(turn);
  }
  for (const auto& launcher : launchers) EXPECT_EQ(Finish(launcher), 0u) << "exit code";
  CloseHandle(turn);
}

class Case : public testing::TestWithParam<std::string> {};

TEST_P(Case, Run) {
  CaseFile c = ReadCase(GetParam());
  if (c.leaveFree >= 0 && !SmallDisk()) GTEST_SKIP() << "no small disk (mounting needs root)";
  for (int round = 1; round <= c.rounds && !HasFailure(); ++round) {
    SetCurrentDirectoryA(BIN_DIR);  // not in the work folder, which is made anew
    NewFolder(c.work);
    for (const auto& folder : c.rootFolders) fs::remove_all(folder);  // left by a run cut short
    for (const auto& [path, content] : c.before) WriteText(path, content);
    for (const auto& [link, target] : c.links) MakeSymbolicLink(link, target);
    for (const auto& [name, file] : c.names) {
      fs::create_directories(fs::path(name).parent_path());
      CreateHardLinkA(name.c_str(), file.c_str(), nullptr);
    }
    for (const auto& [path, attributes] : c.attributes) {
      std::string name = fs::path(path).string();  // a folder without its last "\"
      if (name.back() == '\\') name.pop_back();
      SetFileAttributesA(name.c_str(), attributes);
      if ((GetFileAttributesA(name.c_str()) & attributes) != attributes)
        GTEST_SKIP() << "this file system does not keep the attributes of " << name;
    }
    std::string filler = SMALL_DISK "filler";
    if (c.leaveFree >= 0) {
      DeleteFileA(filler.c_str());
      WriteText(filler, std::string(FreeBytes(filler) - c.leaveFree, '\0'));
      ASSERT_EQ(FreeBytes(filler), c.leaveFree) << "bytes free after filling";
    }
    auto want = Snapshot(c), root = Below<fs::directory_iterator>(c.work.substr(0, 3));
    std::map<std::string, fs::file_time_type> stamps;  // the case's files that must not be rewritten
    for (const auto& [path, content] : c.before)
      if (path.back() != '\\' && !c.after.count(path) && !c.gone.count(path))
        stamps[path] = fs::last_write_time(path);
    // Expected files under their names as Tree spells them.
    for (const auto& [path, content] : c.after) want[fs::path(path).string()] = content;
    for (const auto& path : c.gone) want.erase(fs::path(path).string());
    auto attributes = Snapshot(c, Attributes);  // as they were, and none for new files
    for (const auto& [path, content] : c.after) attributes.emplace(fs::path(path).string(), "");
    for (const auto& path : c.gone) attributes.erase(fs::path(path).string());

    SetCurrentDirectoryA(c.work.c_str());
    std::string command = "\"" BIN_DIR "VyraLauncher.exe\"" + c.tail;
    for (int run = 1; run <= 2; ++run) {
      SCOPED_TRACE("round " + std::to_string(round) + ", run " + std::to_string(run));
      for (const char* log : {"cscript.log", "Prepar3D.log"}) DeleteFileA(log);
      HANDLE hold = CreateFileA(c.held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
      Launch(c, command);
      CloseHandle(hold);
      auto got = Snapshot(c);
      for (const auto& [path, content] : got) EXPECT_TRUE(want.count(path)) << path << " is new";
      for (const auto& [path, bytes] : want) EXPECT_EQ(got[path], bytes) << path;
      std::error_code gone;
      for (const auto& [path, time] : stamps)
        EXPECT_TRUE(fs::last_write_time(path, gone) == time) << path << " rewritten";
      EXPECT_EQ(Snapshot(c, Attributes), attributes) << "attributes";
      EXPECT_EQ(Below<fs::directory_iterator>(c.work.substr(0, 3)), root) << "at the drive's root";
    }
  }
  for (const auto& folder : c.rootFolders) fs::remove_all(folder);  // other cases look there
}

// CASES names every file of tests/cases without its ".case".
INSTANTIATE_TEST_SUITE_P(Cases, Case, testing::Values(CASES),
                         [](const auto& info) { return info.param; });

// Wine reports desktop composition as off, so the Aero message is always there.
TEST(InProcess, AdvisesInRuleOrderLoadsThePluginSettingsOnceAndReadsNumbers) {
  std::string appdata = NewFolder(fs::temp_directory_path() / "vyra" / "in-process");
  WriteText(appdata + "\\Lockheed Martin\\Prepar3D v2\\Prepar3D.cfg",
            "[GRAPHICS]\nHDR=2\n[Display]\nFullScreen=1\nVSYNC=1\n[VYRA]\nZoom=0\nWorldScale=2x\n"
            "a=\nb=1.5\nc=-3e2\nd=.5e\ne=1e39\nf=inf\ng=.\n");
  SetEnvironmentVariableA("APPDATA", appdata.c_str());
  const char* aero = "Please enable Aero.  Otherwise dialogs may not display correctly.";
  const char *full = "Please disable full-screen mode.",
             *mute = "Please disable mute on lost focus";
  const char* why = "It causes poor performance and distortion";
  EXPECT_EQ(CheckSimulatorSettings(),
            (AdvisoryList{"You must disable HDR Lighting to use VYRA!", aero, full, why, mute,
                          "Turn off V-Sync when using asynchronous timewarp"}));
  PluginSettings& settings = GetPluginSettings();
  EXPECT_TRUE(!settings.zoom && settings.async && settings.vignette && settings.worldScale == 2);
  settings.async = false;  // the same instance serves the next checks, now with VSYNC=0
  EXPECT_EQ(CheckSimulatorSettings(),
            (AdvisoryList{aero, "Turn on V-Sync when using synchronous timewarp"}));

  std::string numbers;  // the number at the start of the text, or the default
  for (const char* key : {"a", "b", "c", "d", "e", "f", "g"})
    numbers += std::to_string(ReadConfigFloat("VYRA", key, 7.25f)) + " ";
  EXPECT_EQ(numbers, "7.250000 1.500000 -300.000000 0.500000 7.250000 7.250000 7.250000 ");

  SetEnvironmentVariableA("APPDATA", nullptr);  // no simulator folder: nothing to write to
  EXPECT_EQ(CheckSimulatorSettings(), (AdvisoryList{aero, full, why, mute}));
}

// A launcher whose turn does not come within the bound edits nothing, runs no
// registration and starts the simulator. A thread holds the turn far beyond the
// bound: a launcher that waited longer would take the turn then and correct.
TEST(InProcess, GivesUpWaitingForTheTurnAfterTheBoundAndOnlyStarts) {
  constexpr unsigned kBoundMs = 200, kHeldMs = 2000;
  std::string work = NewFolder(fs::temp_directory_path() / "vyra" / "turn-bound");
  WriteText(work + "\\Lockheed Martin\\Prepar3D v2\\Prepar3D.cfg", "[GRAPHICS]\r\nHDR=1\r\n");
  SetEnvironmentVariableA("APPDATA", work.c_str());
  SetEnvironmentVariableA("PATH", BIN_DIR);  // where cmd finds the test doubles
  SetCurrentDirectoryA(work.c_str());
  auto want = Below(work);
  want[work + "\\Prepar3D.log"] = "[Prepar3D.exe]\r\n";  // started once the turn was free

  HANDLE taken = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::thread holder([taken] {
    HANDLE turn = CreateMutexA(nullptr, FALSE, kTurnName);
    WaitForSingleObject(turn, INFINITE);
    SetEvent(taken);
    Sleep(kHeldMs);
    ReleaseMutex(turn);
    CloseHandle(turn);
  });
  WaitForSingleObject(taken, INFINITE);
  EXPECT_EQ(RunLauncher(L"", kBoundMs), 0);
  holder.join();
  EXPECT_EQ(Below(work), want);
  SetEnvironmentVariableA("APPDATA", nullptr);
}

// The variable reader: an unset variable, or one whose value does not fit in
// the space handed to the platform, gives false and leaves the value alone.
TEST(InProcess, ReadsAVariableOnlyWhenItIsSetAndFits) {
  struct {
    int length;  // of the value; -1: unset
    bool found;
  } const variables[] = {{-1, false}, {0, true}, {1022, true}, {1023, false}, {1500, false}};
  for (const auto& variable : variables) {
    std::string set(std::max(variable.length, 0), 'x'), value = "untouched";
    SetEnvironmentVariableA("VYRA_TEST", variable.length < 0 ? nullptr : set.c_str());
    EXPECT_EQ(GetEnvironmentValue("VYRA_TEST", value), variable.found) << variable.length;
    EXPECT_EQ(value, variable.found ? set : "untouched") << variable.length;
  }
}

// The plug-in's settings from a file without a [VYRA] section. The record is
// loaded once per process, so this test runs only in a process of its own.
TEST(PluginDefaults, WithoutAVyraSection) {
  if (testing::UnitTest::GetInstance()->test_to_run_count() > 1)
    GTEST_SKIP() << "runs alone: --gtest_filter=PluginDefaults.*";
  std::string appdata = NewFolder(fs::temp_directory_path() / "vyra" / "plugin-defaults");
  WriteText(appdata + "\\Lockheed Martin\\Prepar3D v2\\Prepar3D.cfg", "[Display]\nVSYNC=1\n");
  SetEnvironmentVariableA("APPDATA", appdata.c_str());
  const PluginSettings& settings = GetPluginSettings();
  EXPECT_TRUE(settings.zoom);
  EXPECT_TRUE(settings.async);
  EXPECT_TRUE(settings.vignette);
  EXPECT_EQ(settings.worldScale, 1.0f);
}
