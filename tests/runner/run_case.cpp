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

// `text` with each %NAME% of a set variable replaced by its value in UTF-8, every
// other byte as it stands.
static std::string Expand(const std::string& text) {
  std::string expanded;
  for (size_t at = 0; at < text.size();) {
    size_t percent = text.find('%', at);
    size_t end = percent == std::string::npos ? percent : text.find('%', percent + 1);
    if (end == std::string::npos) return expanded + text.substr(at);
    expanded += text.substr(at, percent - at);
    std::wstring name = Wide(text.substr(percent + 1, end - percent - 1)), value(32767, L'\0');
    SetLastError(ERROR_SUCCESS);
    value.resize(GetEnvironmentVariableW(name.c_str(), &value[0], value.size()));
    bool set = !name.empty() && GetLastError() != ERROR_ENVVAR_NOT_FOUND;
    expanded += set ? Utf8(value) : "%";
    at = set ? end + 1 : percent + 1;
  }
  return expanded;
}

std::string CaseFolder() {
  const char* folder = std::getenv("CASES");
  return folder ? folder : "tests/cases";
}

CaseFile ReadCase(const std::string& name) {
  CaseFile c;
  c.name = name;
  c.file = CaseFolder() + "/" + name + ".case";
  c.work = NewFolder((fs::temp_directory_path() / "vyra" / name).string());
  for (const char* variable : {"APPDATA", "LOCALAPPDATA"})
    SetEnvironmentVariableA(variable, nullptr);
  SetEnvironmentVariableA("WORK", c.work.c_str());
  SetEnvironmentVariableA("BIN", BIN_DIR);
  if (!GetEnvironmentVariableA("LAUNCHER", nullptr, 0))  // the launcher the cases run
    SetEnvironmentVariableA("LAUNCHER", BIN_DIR "VyraLauncher.exe");
  std::vector<std::string> lines;
  std::ifstream file(PathOf(InProject(c.file)));
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
  c.launcher = Expand("%LAUNCHER%");
  for (const auto& [path, bytes] : c.before)  // a case may run a copy of its own
    if (PathOf(path).filename() == "VyraLauncher.exe") c.launcher = path;
  return c;
}

// Sets the case up in its work folder, as it was before the run.
static void SetUpFiles(const CaseFile& c) {
  SetCurrentDirectoryA(BIN_DIR);  // not in the work folder, which is made anew
  NewFolder(c.work);
  for (const auto& folder : c.rootFolders)
    fs::remove_all(PathOf(folder));  // left by a run cut short
  for (const auto& [path, content] : c.before) WriteText(path, content);
  for (const auto& step : c.setUp) step();
  SetCurrentDirectoryW(Wide(c.work).c_str());
}

// Starts the case's launchers at the same moment, with what the case does
// around them, and waits for each to exit with 0.
static void Launch(const CaseFile& c) {
  for (const auto& step : c.beforeRun) step(c);
  std::vector<PROCESS_INFORMATION> launchers(c.launchers);
  for (auto& process : launchers) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    std::wstring command = Wide("\"" + c.launcher + "\"" + c.command);
    EXPECT_TRUE(CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                               nullptr, nullptr, &startup, &process))
        << Utf8(command);
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
  SetCurrentDirectoryA(BIN_DIR);
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
