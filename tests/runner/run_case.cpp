// One ctest test per case file: the case is read, set up in its work folder and
// run twice; after each run, what is there is compared with what it expects.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iostream>

#include "case.h"

// Starts a Unix program, as Wine lets a Windows program do, in `folder`. Wine
// gives no handle to wait on: the caller waits for what the program does.
static void StartUnix(const std::string& program, const std::string& arguments,
                      const std::string& folder) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  std::string command = program + " " + arguments;
  if (!CreateProcessA(("/bin/" + program).c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                      folder.c_str(), &startup, &process))
    return;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
}

// Under Wine, a Windows program can neither make a symbolic link nor remove one
// whose target is gone: the Linux side does both.
std::string NewFolder(const fs::path& folder) {
  static int asides = 0;
  std::error_code failed;
  for (const auto& entry : fs::recursive_directory_iterator(folder, failed))
    SetFileAttributesW(entry.path().c_str(), FILE_ATTRIBUTE_NORMAL);  // read-only files too
  fs::remove_all(folder, failed);
  if (failed) {
    std::string aside = folder.filename().string() + ".gone" + std::to_string(++asides);
    fs::rename(folder, folder.parent_path() / aside);
    StartUnix("rm", "-rf " + aside, folder.parent_path().string());
  }
  fs::create_directories(folder);
  return folder.string();
}

void MakeSymbolicLink(const fs::path& link, const std::string& target) {
  constexpr int kTries = 100, kTryEveryMs = 50;
  fs::create_directories(link.parent_path());
  StartUnix("ln", "-s \"" + target + "\" \"" + link.filename().string() + "\"",
            link.parent_path().string());
  for (int tries = 0; !fs::exists(link) && tries < kTries; ++tries) Sleep(kTryEveryMs);
  EXPECT_TRUE(fs::exists(link)) << "no symbolic link " << link.string() << " to " << target;
}

void WriteText(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

std::string ReadText(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), {}};
}

// `text` with each %NAME% of a set variable replaced by its value.
static std::string Expand(const std::string& text) {
  constexpr DWORD kLongestExpansion = 32768;  // what ExpandEnvironmentStrings can give
  static char space[kLongestExpansion];
  return std::string(space, ExpandEnvironmentStringsA(text.c_str(), space, sizeof space) - 1);
}

std::string CaseFolder() {
  const char* folder = std::getenv("CASES");
  return folder ? folder : "tests/cases";
}

CaseFile ReadCase(const std::string& name) {
  CaseFile c;
  c.name = name;
  c.file = CaseFolder() + "/" + name + ".case";
  c.work = NewFolder(fs::temp_directory_path() / "vyra" / name);
  for (const char* variable : {"APPDATA", "LOCALAPPDATA"})
    SetEnvironmentVariableA(variable, nullptr);
  SetEnvironmentVariableA("WORK", c.work.c_str());
  SetEnvironmentVariableA("BIN", BIN_DIR);
  if (!GetEnvironmentVariableA("LAUNCHER", nullptr, 0))  // the launcher the cases run
    SetEnvironmentVariableA("LAUNCHER", BIN_DIR "VyraLauncher.exe");
  std::vector<std::string> lines;
  std::ifstream file(fs::path(SOURCE_DIR) / c.file);
  for (std::string line; std::getline(file, line);) lines.push_back(line);
  // Each line is expanded once, when it is reached: a "set" line counts for the lines below it.
  for (size_t next = 0; next < lines.size();) {
    c.line = next + 1;
    std::string line = Expand(lines[next]);
    ++next;
    std::string word = line.substr(0, line.find(' '));
    std::string rest = line.substr(std::min(line.size(), word.size() + 1));
    auto directive = kDirectives.find(word);
    if (directive == kDirectives.end()) {
      if (!line.empty() && line[0] != '#') FAIL_AT(c, c.line) << "not understood: " << line;
    } else if (directive->second.read) {
      directive->second.read(c, rest);
    } else {  // the text of a file: every line up to the next one that starts a text
      std::string text;
      for (; next < lines.size() && !StartsText(lines[next]); ++next)
        text += Expand(lines[next]) + "\r\n";
      directive->second.readText(c, rest, text);
    }
  }
  std::string copy = c.work + "\\VyraLauncher.exe";  // a case may run a copy of its own
  c.launcher = c.before.count(copy) ? copy : Expand("%LAUNCHER%");
  return c;
}

// Sets the case up in its work folder, as it was before the run.
static void SetUpFiles(const CaseFile& c) {
  SetCurrentDirectoryA(BIN_DIR);  // not in the work folder, which is made anew
  NewFolder(c.work);
  for (const auto& folder : c.rootFolders) fs::remove_all(folder);  // left by a run cut short
  for (const auto& [path, content] : c.before) WriteText(path, content);
  for (const auto& step : c.setUp) step();
  SetCurrentDirectoryA(c.work.c_str());
}

// Starts the case's launchers at the same moment, with what the case does
// around them, and waits for each to exit with 0.
static void Launch(const CaseFile& c) {
  for (const auto& step : c.beforeRun) step(c);
  std::vector<PROCESS_INFORMATION> launchers(c.launchers);
  for (auto& process : launchers) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    std::string command = "\"" + c.launcher + "\"" + c.command;
    EXPECT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                               nullptr, nullptr, &startup, &process))
        << command;
  }
  std::vector<HANDLE> running;
  for (const auto& process : launchers) running.push_back(process.hProcess);
  for (const auto& process : launchers) ResumeThread(process.hThread);
  DWORD lookAgainMs = c.whileRunning.empty() ? INFINITE : 0;  // the steps themselves wait
  while (WaitForMultipleObjects(running.size(), running.data(), TRUE, lookAgainMs) == WAIT_TIMEOUT)
    for (const auto& step : c.whileRunning) step(c);
  for (const auto& process : launchers) {
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    if (code) FAIL_AT(c, 1) << "a launcher exited with " << code << c.when;
  }
  for (const auto& step : c.afterRun) step(c);
}

// Says where a failing case left what the launcher wrote; with VYRA_ACCEPT set,
// except where CI is set, takes what its first run wrote over into the case.
static void Keep(const CaseFile& c, const Tree& written, const std::set<std::string>& differing) {
  std::cout << "What the launcher wrote is kept in " << c.work << "\n  (on Linux "
            << LinuxPath(c.work) << ")" << std::endl;
  if (!std::getenv("VYRA_ACCEPT")) return;
  if (std::getenv("CI"))
    std::cout << "VYRA_ACCEPT is ignored where CI is set: nothing was taken over" << std::endl;
  else
    Accept(c, written, differing);
}

class Case : public testing::TestWithParam<std::string> {};

TEST_P(Case, Run) {
  CaseFile c = ReadCase(GetParam());
  if (!c.skip.empty()) GTEST_SKIP() << c.skip;
  if (HasFailure()) return;
  SetUpFiles(c);
  if (IsSkipped() || HasFatalFailure()) return;
  const std::string drive = c.work.substr(0, 3);
  Tree want = Snapshot(c);
  Tree root = Below(drive, false);
  for (const auto& [spelled, changed] : c.after)  // with the attributes it had
    want[spelled] = {changed.bytes, EntryAt(changed.place).attributes};
  for (const auto& spelled : c.gone) want.erase(spelled);
  std::map<std::string, fs::file_time_type> stamps;  // the files that must not be rewritten
  for (const auto& [path, content] : c.before) {
    std::string spelled = Spelling(path);
    bool folder = path.back() == '\\';
    if (!folder && !c.after.count(spelled) && !c.gone.count(spelled))
      stamps[path] = fs::last_write_time(path);
  }

  Tree reportedOfWork, reportedOfRoot;  // what was reported, for "as before"
  Tree firstWritten;
  std::set<std::string> firstDiffering;
  for (int run = 1; run <= 2; ++run) {
    c.when = ", run " + std::to_string(run);
    for (const char* log : {"cscript.log", "Prepar3D.log"}) DeleteFileA(log);
    Launch(c);
    Tree written = Snapshot(c);
    std::set<std::string> differing = Report(c, want, written, c.when, reportedOfWork);
    if (run == 1) {
      firstWritten = written;
      firstDiffering = differing;
    }
    Report(c, root, Below(drive, false), c.when + " at the drive's root", reportedOfRoot);
    std::error_code gone;
    for (const auto& [path, time] : stamps)
      if (fs::last_write_time(path, gone) != time)
        FAIL_AT(c, LineOf(c, path)) << NameOf(c, path) << " was rewritten" << c.when;
  }
  if (HasFailure()) Keep(c, firstWritten, firstDiffering);
  SetCurrentDirectoryA(BIN_DIR);
  for (const auto& folder : c.rootFolders) fs::remove_all(folder);  // other cases look there
}

// Every case file of the case folder, in order of name.
static std::vector<std::string> CaseNames() {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(fs::path(SOURCE_DIR) / CaseFolder()))
    if (entry.path().extension() == ".case") names.push_back(entry.path().stem().string());
  std::sort(names.begin(), names.end());
  return names;
}

INSTANTIATE_TEST_SUITE_P(Cases, Case, testing::ValuesIn(CaseNames()),
                         [](const auto& info) { return info.param; });
