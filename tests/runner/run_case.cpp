// One ctest test per case file: the case is read, then set up in its work folder
// and run twice; after each run, what is there is compared with what it expects.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iostream>

#include "case.h"

// `text` with each %NAME% of a variable that the case or the runner sets replaced
// by its value, in UTF-8, and every other byte as it stands. The folder
// variables are the launcher's to find: the runner's own never reach it.
static std::string Expand(const CaseFile& c, const std::string& text) {
  std::string expanded;
  for (size_t at = 0; at < text.size();) {
    size_t percent = text.find('%', at);
    size_t end = percent == std::string::npos ? percent : text.find('%', percent + 1);
    if (end == std::string::npos) return expanded + text.substr(at);
    expanded += text.substr(at, percent - at);
    std::string name = text.substr(percent + 1, end - percent - 1);
    std::wstring value(32767, L'\0');
    SetLastError(ERROR_SUCCESS);
    value.resize(GetEnvironmentVariableW(Wide(name).c_str(), &value[0], value.size()));
    bool runners = GetLastError() == ERROR_SUCCESS && name != "APPDATA" && name != "LOCALAPPDATA";
    auto variable = c.variables.find(name);
    bool set = !name.empty() && (variable != c.variables.end() || runners);
    expanded += !set ? "%" : variable != c.variables.end() ? variable->second : Utf8(value);
    at = set ? end + 1 : percent + 1;
  }
  return expanded;
}

// True when `line` starts the text of a file ("---", "+++").
static bool StartsText(const std::string& line) {
  auto directive = kDirectives.find(line.substr(0, line.find(' ')));
  return directive != kDirectives.end() && directive->second.readText;
}

std::string CaseFolder() {
  const char* folder = std::getenv("CASES");
  return folder ? folder : "tests/cases";
}

CaseFile ReadCase(const std::string& name) {
  CaseFile c;
  c.file = CaseFolder() + "/" + name + ".case";
  std::vector<std::string> lines;
  std::ifstream file(PathOf(InProject(c.file)));
  for (std::string line; std::getline(file, line);) lines.push_back(line);
  bool onTheSmallDisk = std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
    return line.rfind("free ", 0) == 0;
  });
  c.work =
      onTheSmallDisk ? SMALL_DISK + name : (fs::temp_directory_path() / "vyra" / name).string();
  const char* launcher = std::getenv("LAUNCHER");  // the launcher the cases run
  c.variables = {{"WORK", c.work},
                 {"BIN", BIN_DIR},
                 {"LAUNCHER", launcher ? launcher : BIN_DIR "VyraLauncher.exe"}};
  // Each line is expanded once, when it is reached: a "set" line counts for the lines below it.
  for (size_t next = 0; next < lines.size();) {
    c.line = next + 1;
    std::string line = Expand(c, lines[next]);
    ++next;
    if (line == kRunsAlone || line == kTakesTheSmallDisk) {  // what the build reads: checked below
      c.says.emplace(line, c.line);
      continue;
    }
    std::string word = line.substr(0, line.find(' '));
    std::string rest = line.substr(std::min(line.size(), word.size() + 1));
    auto directive = kDirectives.find(word);
    if (directive == kDirectives.end()) {
      if (!line.empty() && line[0] != '#') FAIL_AT_LINE(c, c.line) << "not understood: " << line;
      continue;
    }
    const Directive& d = directive->second;
    std::string text;  // of a file: every line up to the next one that starts a text
    for (; d.readText && next < lines.size() && !StartsText(lines[next]); ++next)
      text += Expand(c, lines[next]) + "\r\n";
    // Every directive takes a part at least.
    bool fits = !rest.empty() && (d.read ? d.read(c, rest) : d.readText(c, rest, text));
    if (!fits) FAIL_AT_LINE(c, c.line) << "usage: " << word << " " << d.usage;
    if (fits && d.needs) c.needs.emplace(d.needs, c.line);
  }
  c.launcher = c.variables["LAUNCHER"];
  for (const auto& [path, bytes] : c.before)  // a case may run a copy of its own
    if (PathOf(path).filename() == "VyraLauncher.exe") c.launcher = path;
  for (const auto& [need, line] : c.needs)
    if (!c.says.count(need))
      FAIL_AT_LINE(c, line) << "this needs the case to say \"" << need << "\"";
  for (const auto& [need, line] : c.says)
    if (!c.needs.count(need))
      FAIL_AT_LINE(c, line) << "nothing in the case needs \"" << need << "\"";
  return c;
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
// around them, and waits for each to exit with 0. False where they did not exit
// within the bound: they are ended then, and what they left proves nothing.
static bool Launch(const CaseFile& c) {
  std::vector<Stop> stops;
  for (const auto& start : c.around) stops.push_back(start(c));
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
  bool exited = WaitForMultipleObjects(running.size(), running.data(), TRUE, kLaunchersAtMostMs) !=
                WAIT_TIMEOUT;
  if (!exited)
    FAIL_AT_LINE(c, 1) << "the launchers had not exited after " << kLaunchersAtMostMs << " ms"
                       << c.when;
  for (const auto& process : launchers) {
    DWORD code = 1;
    if (!exited) TerminateProcess(process.hProcess, code);
    WaitForSingleObject(process.hProcess, INFINITE);  // ended by then
    GetExitCodeProcess(process.hProcess, &code);
    for (HANDLE handle : {process.hProcess, process.hThread}) CloseHandle(handle);
    if (code && exited) FAIL_AT_LINE(c, 1) << "a launcher exited with " << code << c.when;
  }
  for (const auto& stop : stops) stop();
  return exited;
}

// Sets the case up in its work folder, runs its launchers twice, and after each
// run compares what is there with what it expects.
static void RunCase(CaseFile& c) {
  MakeReady(c);
  if (testing::Test::IsSkipped() || testing::Test::HasFatalFailure()) return;
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

  for (int run = 1; run <= 2; ++run) {
    c.when = ", run " + std::to_string(run);
    for (const char* log : {"cscript.log", "Prepar3D.log"}) DeleteFileA(log);
    if (!Launch(c)) break;
    Report(c, want, Snapshot(c), c.when);
    Report(c, root, Below(drive, false), c.when + " at the drive's root");
    std::error_code gone;
    for (const auto& [path, time] : stamps)
      if (fs::last_write_time(PathOf(path), gone) != time)
        FAIL_AT_LINE(c, LineOf(c, path)) << NameOf(c, path) << " was rewritten" << c.when;
  }
  if (testing::Test::HasFailure())
    std::cout << "What the launcher wrote is kept in " << c.work << "\n  (on Linux "
              << LinuxPath(c.work) << ")" << std::endl;
  SetCurrentDirectoryW(Wide(BIN_DIR).c_str());
  for (const auto& folder : c.rootFolders)
    fs::remove_all(PathOf(folder));  // other cases look there
}

class Case : public testing::TestWithParam<std::string> {};

TEST_P(Case, Run) {
  CaseFile c = ReadCase(GetParam());
  if (!c.skip.empty()) GTEST_SKIP() << c.skip;
  if (!HasFailure()) RunCase(c);
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

// The cases of tests/failing are wrong on purpose: each fails where its lines
// "# fails at LINE: WORDS" say, with those words, and nowhere else; when it is
// read (a directive's usage), or else when it runs (a file that differs).
TEST(FailingCases, FailAtTheirLinesSayingWhatDidNotHappen) {
  _putenv("CASES=tests/failing");
  for (const std::string& name : CaseNames()) {
    std::multimap<int, std::string> expected, got;
    std::ifstream file(PathOf(InProject(CaseFolder() + "/" + name + ".case")));
    for (std::string line; std::getline(file, line);)
      if (line.rfind("# fails at ", 0) == 0)
        expected.emplace(std::stoi(line.substr(11)), line.substr(line.find(": ") + 2));
    testing::TestPartResultArray failures;
    {
      testing::ScopedFakeTestPartResultReporter reporter(
          testing::ScopedFakeTestPartResultReporter::INTERCEPT_ALL_THREADS, &failures);
      CaseFile c = ReadCase(name);
      if (!failures.size()) RunCase(c);
    }
    for (int i = 0; i < failures.size(); ++i)
      got.emplace(failures.GetTestPartResult(i).line_number(),
                  failures.GetTestPartResult(i).message());
    for (const auto& [line, words] : expected) {
      auto [from, to] = got.equal_range(line);
      EXPECT_TRUE(std::any_of(
          from, to, [&](const auto& g) { return g.second.find(words) != std::string::npos; }))
          << name << ".case:" << line << " did not fail with: " << words;
    }
    for (const auto& [line, message] : got)
      EXPECT_TRUE(expected.count(line)) << name << ".case:" << line << " failed: " << message;
  }
  _putenv("CASES=");
}
