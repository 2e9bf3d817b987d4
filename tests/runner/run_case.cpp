// One ctest test per case file: the case is read, then set up in its work folder
// and run twice; after each run, what is there is compared with what it expects.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iostream>

#include "case.h"

// Starts a Unix program, as Wine lets a Windows program do, in `folder`. Wine
// gives no handle to wait on: the caller waits for what the program does.
static void StartUnix(const std::string& program, const std::string& arguments,
                      const std::string& folder) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  std::wstring command = Wide(program + " " + arguments);
  if (!CreateProcessW(Wide("/bin/" + program).c_str(), &command[0], nullptr, nullptr, FALSE, 0,
                      nullptr, Wide(folder).c_str(), &startup, &process))
    return;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
}

std::wstring Wide(const std::string& utf8) {
  std::wstring wide(utf8.size(), L'\0');
  wide.resize(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), utf8.size(), &wide[0], wide.size()));
  return wide;
}

std::string Utf8(const std::wstring& wide) { return fs::path(wide).string(); }

// Under Wine, a Windows program can neither make a symbolic link nor remove one
// whose target is gone: the Linux side does both.
std::string NewFolder(const std::string& name) {
  static int asides = 0;
  const fs::path folder = PathOf(name);
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

void MakeSymbolicLink(const std::string& name, const std::string& target) {
  constexpr int kTries = 100, kTryEveryMs = 50;
  const fs::path link = PathOf(name);
  fs::create_directories(link.parent_path());
  StartUnix("ln", "-s \"" + target + "\" \"" + link.filename().string() + "\"",
            link.parent_path().string());
  for (int tries = 0; !fs::exists(link) && tries < kTries; ++tries) Sleep(kTryEveryMs);
  EXPECT_TRUE(fs::exists(link)) << "no symbolic link " << link.string() << " to " << target;
}

void WriteText(const std::string& path, const std::string& text) {
  fs::create_directories(PathOf(path).parent_path());
  std::ofstream(PathOf(path), std::ios::binary) << text;
}

std::string ReadText(const std::string& path) {
  std::ifstream file(PathOf(path), std::ios::binary);
  return {std::istreambuf_iterator<char>(file), {}};
}

// Sets the case up in its work folder, as it was before the run, and the
// environment the launchers get.
static void MakeReady(const CaseFile& c) {
  SetCurrentDirectoryW(Wide(BIN_DIR).c_str());  // not in the work folder, which is made anew
  NewFolder(c.work);
  for (const auto& folder : c.rootFolders)
    fs::remove_all(PathOf(folder));  // left by a run cut short
  for (const auto& [path, content] : c.before) WriteText(path, content);
  for (const auto& step : c.setUp) step();
  for (const wchar_t* variable : {L"APPDATA", L"LOCALAPPDATA"})
    SetEnvironmentVariableW(variable, nullptr);
  for (const auto& [name, value] : c.variables)
    SetEnvironmentVariableW(Wide(name).c_str(), Wide(value).c_str());
  SetCurrentDirectoryW(Wide(c.work).c_str());
}

// Starts the case's launchers at the same moment, with what the case does
// around them, and waits for each to exit with 0.
static void Launch(const CaseFile& c) {
  Run run{c, {}};
  std::vector<Stop> stops;
  for (const auto& start : c.around) stops.push_back(start(run));
  std::vector<PROCESS_INFORMATION> launchers(c.launchers);
  std::vector<HANDLE> running;
  for (auto& process : launchers) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    std::wstring command = Wide("\"" + c.launcher + "\"" + c.command);
    EXPECT_TRUE(CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                               nullptr, nullptr, &startup, &process))
        << Utf8(command);
    running.push_back(process.hProcess);
  }
  for (const auto& process : launchers) ResumeThread(process.hThread);
  WaitForMultipleObjects(running.size(), running.data(), TRUE, INFINITE);
  for (const auto& process : launchers) {
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    if (code) FAIL_AT(c, 1) << "a launcher exited with " << code << c.when;
  }
  for (const auto& stop : stops)  // in order: "when" stops before what it sets off
    if (stop) stop();
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
  MakeReady(c);
  if (IsSkipped() || HasFatalFailure()) return;
  const std::string drive = c.work.substr(0, 3);
  Tree want = Snapshot(c);
  Tree root = Below(drive, false);
  for (const auto& [spelled, changed] : c.after)  // with the attributes it had
    want[spelled] = {changed.bytes, EntryAt(PathOf(changed.place)).attributes};
  for (const auto& spelled : c.gone) want.erase(spelled);
  std::map<std::string, fs::file_time_type> stamps;  // the files that must not be rewritten
  for (const auto& [path, content] : c.before) {
    std::string spelled = Spelling(path);
    bool folder = path.back() == '\\';
    if (!folder && !c.after.count(spelled) && !c.gone.count(spelled))
      stamps[path] = fs::last_write_time(PathOf(path));
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
      if (fs::last_write_time(PathOf(path), gone) != time)
        FAIL_AT(c, LineOf(c, path)) << NameOf(c, path) << " was rewritten" << c.when;
  }
  if (HasFailure()) Keep(c, firstWritten, firstDiffering);
  SetCurrentDirectoryW(Wide(BIN_DIR).c_str());
  for (const auto& folder : c.rootFolders)
    fs::remove_all(PathOf(folder));  // other cases look there
}

// Every case file of the case folder, in order of name.
static std::vector<std::string> CaseNames() {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(PathOf(InProject(CaseFolder()))))
    if (entry.path().extension() == ".case") names.push_back(entry.path().stem().string());
  std::sort(names.begin(), names.end());
  return names;
}

INSTANTIATE_TEST_SUITE_P(Cases, Case, testing::ValuesIn(CaseNames()),
                         [](const auto& info) { return info.param; });
