// The case files of tests/cases (the README tells their form), each run by
// starting VyraLauncher.exe twice in a work folder set up as the case says;
// then what only the launcher's own process sees.
#include "launcher.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <thread>
#include <vector>

#include "check.h"
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

// Entries by name and what each holds.
using Tree = std::map<std::string, std::string>;

// The read-only, hidden and system attributes of the file or folder `path`, as
// "<attributes RHS>", or nothing when it has none of them.
static std::string AttributesOf(const fs::path& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  std::string letters;
  for (auto [attribute, letter] : {std::pair{FILE_ATTRIBUTE_READONLY, 'R'},
                                   {FILE_ATTRIBUTE_HIDDEN, 'H'},
                                   {FILE_ATTRIBUTE_SYSTEM, 'S'}})
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & attribute)) letters += letter;
  return letters.empty() ? "" : "<attributes " + letters + ">";
}

// Every entry below `folder` (only in it, with a directory_iterator) and what it
// holds: its bytes, or "<folder>", then its attributes.
template <class Entries = fs::recursive_directory_iterator>
static Tree Below(const std::string& folder) {
  Tree tree;
  for (const auto& entry : Entries(folder))
    tree[entry.path().string()] =
        (entry.is_directory() ? "<folder>" : ReadText(entry.path())) + AttributesOf(entry.path());
  return tree;
}

// A text's lines, each with its line end.
static std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (size_t start = 0, end; start < text.size(); start = end) {
    end = std::min(text.find('\n', start), text.size() - 1) + 1;
    lines.push_back(text.substr(start, end - start));
  }
  return lines;
}

// A line without its line end.
static std::string Bare(const std::string& line) {
  return line.substr(0, line.find_last_not_of("\r\n") + 1);
}

// A line end spelled out.
static std::string Spelled(const std::string& end) {
  std::string spelled;
  for (char c : end) spelled += c == '\r' ? "\\r" : "\\n";
  return spelled.empty() ? " (no line end)" : spelled;
}

// A unified diff of two texts' lines, its sides labelled, with kContext lines
// around each change, cut after kMostLines. A changed line shows its line end
// where that is all that tells it from a changed line of the other side.
static std::string Diff(const std::string& expected, const std::string& written) {
  constexpr size_t kContext = 3, kMostLines = 60;
  const auto a = Lines(expected), b = Lines(written);
  size_t head = 0, n = a.size(), m = b.size();  // the same head and tail need no comparing
  while (head < n && head < m && a[head] == b[head]) ++head;
  while (n > head && m > head && a[n - 1] == b[m - 1]) --n, --m;
  // common(i, j): how many lines a[i, n) and b[j, m) have in common, in order
  std::vector<std::vector<size_t>> table(n - head + 1, std::vector<size_t>(m - head + 1));
  auto common = [&](size_t i, size_t j) -> size_t& { return table[i - head][j - head]; };
  for (size_t i = n; i-- > head;)
    for (size_t j = m; j-- > head;)
      common(i, j) =
          a[i] == b[j] ? common(i + 1, j + 1) + 1 : std::max(common(i + 1, j), common(i, j + 1));
  // Each line, kept (' '), gone ('-') or new ('+'); and the bare lines gone, and new.
  std::vector<std::pair<char, std::string>> edits;
  std::set<std::string> changed[2];
  for (size_t i = 0, j = 0; i < a.size() || j < b.size();) {
    if (i < a.size() && j < b.size() && a[i] == b[j]) {
      edits.push_back({' ', a[i++]}), ++j;
    } else if (i < n && (j == m || common(i + 1, j) >= common(i, j + 1))) {
      changed[0].insert(Bare(a[i])), edits.push_back({'-', a[i++]});
    } else {
      changed[1].insert(Bare(b[j])), edits.push_back({'+', b[j++]});
    }
  }
  std::vector<bool> shown(edits.size());
  for (size_t e = 0; e < edits.size(); ++e)
    for (size_t k = e > kContext ? e - kContext : 0; edits[e].first != ' ' && k <= e + kContext;
         ++k)
      if (k < edits.size()) shown[k] = true;
  std::string diff = "--- expected\n+++ written by the launcher\n";
  size_t next[2] = {1, 1}, lines = 0;  // each side's number of the line at edit e
  auto step = [&next](char mark) { next[0] += mark != '+', next[1] += mark != '-'; };
  for (size_t e = 0; e < edits.size() && lines <= kMostLines;) {
    if (!shown[e]) {
      step(edits[e++].first);
      continue;
    }
    size_t first[2] = {next[0], next[1]};
    std::string hunk;
    for (; e < edits.size() && shown[e]; ++e, ++lines) {
      auto [mark, line] = edits[e];
      step(mark);
      bool endTells = mark != ' ' && changed[mark == '-'].count(Bare(line));
      hunk += mark + Bare(line) + (endTells ? Spelled(line.substr(Bare(line).size())) : "") + "\n";
    }
    for (int side : {0, 1})  // a side with no lines here names the line before
      diff += (side ? " +" : "@@ -") + std::to_string(first[side] - (next[side] == first[side])) +
              "," + std::to_string(next[side] - first[side]);
    diff += " @@\n" + hunk;
  }
  diff.pop_back();  // the last line end: the message ends there
  return lines > kMostLines ? diff + "\n(cut after " + std::to_string(kMostLines) + " lines)"
                            : diff;
}

// `text` with each %NAME% of a set variable replaced by its value.
static std::string Expand(const std::string& text) {
  constexpr DWORD kLongestExpansion = 32768;  // what ExpandEnvironmentStrings can give
  static char space[kLongestExpansion];
  return std::string(space, ExpandEnvironmentStringsA(text.c_str(), space, sizeof space) - 1);
}

// True when the small disk is there: a drive of a few hundred KB, never a real disk.
static bool SmallDisk() {
  constexpr ULONGLONG kSmallDiskAtMost = 4 << 20;
  ULARGE_INTEGER size;
  return GetDiskFreeSpaceExA(SMALL_DISK, nullptr, &size, nullptr) &&
         size.QuadPart <= kSmallDiskAtMost;
}

static unsigned long long FreeBytes(const std::string& path) {
  ULARGE_INTEGER free = {};
  GetDiskFreeSpaceExA(path.substr(0, 3).c_str(), &free, nullptr, nullptr);
  return free.QuadPart;
}

// The folder of the case files, below the project: tests/cases, or CASES when set.
static std::string CaseFolder() {
  const char* folder = std::getenv("CASES");
  return folder ? folder : "tests/cases";
}

// Records a failure at a line of the case file, "FILE:LINE:", where an editor jumps to.
#define FAIL_AT(c, line) \
  GTEST_MESSAGE_AT_((c).file.c_str(), line, "", testing::TestPartResult::kNonFatalFailure)

// What a case file says: where the launcher runs, what is there before, how it
// is started, and what changes.
struct CaseFile {
  std::string file;                          // the case file, below the project
  int line = 0;                              // its line being read
  std::map<std::string, int> lines;          // the line that names each path (a "+++" first)
  std::string work;                          // the work folder
  std::string tail;                          // the command line after the program's name
  Tree before;                               // files, and folders ending in "\", and their bytes
  Tree after;                                // the files that change, and their new bytes
  std::set<std::string> gone;                // the files that are removed
  std::set<std::string> rootFolders;         // the folders at the drive's root the case names
  std::map<std::string, DWORD> attributes;   // files and folders given attributes
  std::map<std::string, std::string> links;  // symbolic links ("symlink") and their targets
  std::map<std::string, std::string> names;  // second names ("hardlink") and their files
  std::string held;                          // a file held open without sharing
  long long leaveFree = -1;                  // fill the small disk until this many bytes are free
  int launchers = 1;                         // started at the same moment
  int rounds = 1;                            // times the case is set up anew and run twice
  std::string turn;  // "held" by the runner while the launchers start, or "abandoned" before
};

// The attributes that directives give.
static const std::map<std::string, DWORD> kAttributes = {{"readonly", FILE_ATTRIBUTE_READONLY},
                                                         {"hidden", FILE_ATTRIBUTE_HIDDEN},
                                                         {"system", FILE_ATTRIBUTE_SYSTEM}};

// A path of the case: below the work folder, or at the drive's root when it
// starts with "\". The line that names it first is kept, for messages.
static std::string Place(CaseFile& c, const std::string& path) {
  std::string place = path[0] == '\\' ? c.work.substr(0, 2) + path : c.work + "\\" + path;
  if (path[0] == '\\')
    c.rootFolders.insert(c.work.substr(0, 2) + path.substr(0, path.find('\\', 1)));
  std::string name = fs::path(place).string();  // as Below spells it; a folder without its "\"
  c.lines.emplace(name.substr(0, name.find_last_not_of('\\') + 1), c.line);
  return place;
}

// Reads the case file NAME, setting the variables it sets.
static CaseFile ReadCase(const std::string& name) {
  CaseFile c;
  c.file = CaseFolder() + "/" + name + ".case";
  c.work = NewFolder(fs::temp_directory_path() / "vyra" / name);
  std::string line, *text = nullptr;
  for (const char* variable : {"APPDATA", "LOCALAPPDATA"})
    SetEnvironmentVariableA(variable, nullptr);
  SetEnvironmentVariableA("WORK", c.work.c_str());
  SetEnvironmentVariableA("PATH", BIN_DIR);  // where cmd finds the test doubles
  SetEnvironmentVariableA("BIN", BIN_DIR);
  if (!GetEnvironmentVariableA("LAUNCHER", nullptr, 0))  // the launcher the cases run
    SetEnvironmentVariableA("LAUNCHER", BIN_DIR "VyraLauncher.exe");
  for (std::ifstream file(SOURCE_DIR + c.file); std::getline(file, line);) {
    ++c.line;
    line = Expand(line);  // once per line, directive or file text
    std::string word = line.substr(0, line.find(' '));
    std::string rest = line.substr(std::min(line.size(), word.size() + 1));
    size_t data = rest.find(" < "), equals = rest.find('='), arrow = rest.find(" > ");
    if (word == "---" || word == "+++") {
      std::string path = Place(c, rest.substr(0, data));
      if (word == "+++") c.lines[fs::path(path).string()] = c.line;
      text = &(word == "---" ? c.before : c.after)[path];
      if (data == std::string::npos) continue;
      std::string source = rest.substr(data + 3);  // below tests/data, or a full path
      if (fs::path(source).is_relative()) source = "tests/data/" + source;
      *text = ReadText(fs::path(SOURCE_DIR) / source);
      if (text->find('\n') != std::string::npos && text->find("\r\n") == std::string::npos &&
          text->find('\0') == std::string::npos)
        FAIL_AT(c, c.line) << source
                           << " ends its lines in LF alone: data files are taken byte for byte, so "
                           << "save it with CR LF line ends";
    } else if (text) {
      *text += line + "\r\n";
    } else if (word == "set") {
      SetEnvironmentVariableA(rest.substr(0, equals).c_str(), rest.substr(equals + 1).c_str());
    } else if (word == "command") {
      c.tail = rest.substr(rest.find('"', 1) + 1);  // after the program's name in quotes
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
      FAIL_AT(c, c.line) << "not understood: " << line;
    }
  }
  return c;
}

// Every entry below the work folder and the root folders the case names, and what it holds.
static Tree Snapshot(const CaseFile& c) {
  auto tree = Below(c.work);
  for (const auto& folder : c.rootFolders)  // a file there is seen in the root's own listing
    if (fs::is_directory(folder)) tree.merge(Below(folder));
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

// Sets the case up in its work folder, as it was before the run.
static void Arrange(const CaseFile& c) {
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
    // Wine keeps hidden and system in an extended attribute, which a user other
    // than root cannot write on a read-only file: those first.
    SetFileAttributesA(name.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
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
  SetCurrentDirectoryA(c.work.c_str());
}

// The case file's line that names `path` (Below's spelling or the case's), else its first.
static int LineOf(const CaseFile& c, const std::string& path) {
  auto named = c.lines.find(fs::path(path).string());
  return named == c.lines.end() ? 1 : named->second;
}

// `path` as messages give it: below the work folder, or whole.
static std::string NameOf(const CaseFile& c, const std::string& path) {
  return path.rfind(c.work + "\\", 0) == 0 ? path.substr(c.work.size() + 1) : path;
}

// Reports each entry that differs from what the case expects, once: with the
// case file's line that names it, and a diff, or in one line where an earlier
// run left it the same way (`earlier` keeps what was reported).
static void Report(const CaseFile& c, const Tree& want, const Tree& got, const std::string& when,
                   Tree& earlier) {
  std::set<std::string> paths;
  for (const auto* tree : {&want, &got})
    for (const auto& [path, content] : *tree) paths.insert(path);
  for (const auto& path : paths) {
    auto expected = want.find(path), written = got.find(path);
    std::string was = expected == want.end() ? "" : expected->second;
    std::string is = written == got.end() ? "" : written->second;
    if (expected != want.end() && written != got.end() && was == is) continue;
    std::string what = expected == want.end() ? " is new"
                       : written == got.end() ? " is missing"
                                              : " differs";
    if (earlier.count(path) && earlier[path] == is)
      FAIL_AT(c, LineOf(c, path)) << NameOf(c, path) << what << when << ", as before";
    else
      FAIL_AT(c, LineOf(c, path)) << NameOf(c, path) << what << when << ":\n" << Diff(was, is);
    earlier[path] = is;
  }
}

// The time the runner holds the turn for "turn held": a launcher that did not
// wait for it would have corrected and registered by then.
constexpr DWORD kTurnHeldMs = 2000;

// Starts the case's launchers at the same moment and waits for them, each to exit
// with 0. With "turn held", the runner holds the turn while they start and checks
// that they wait for it, writing nothing; with "turn abandoned", a thread takes
// the turn and ends without giving it back, as a launcher that died would.
static void Launch(const CaseFile& c, const std::string& when) {
  HANDLE turn = CreateMutexA(nullptr, FALSE, kTurnName);
  if (c.turn == "held") WaitForSingleObject(turn, INFINITE);
  if (c.turn == "abandoned") std::thread([turn] { WaitForSingleObject(turn, INFINITE); }).join();
  Tree before = c.turn == "held" ? Snapshot(c) : Tree();
  std::vector<PROCESS_INFORMATION> launchers;
  std::string copy = c.work + "\\VyraLauncher.exe";  // a case may run a copy of its own
  std::string command = "\"" + (c.before.count(copy) ? copy : Expand("%LAUNCHER%")) + "\"" + c.tail;
  for (int i = 0; i < c.launchers; ++i)
    launchers.push_back(Start(command, nullptr, nullptr, CREATE_SUSPENDED));
  for (const auto& launcher : launchers) ResumeThread(launcher.hThread);
  if (c.turn == "held") {
    Sleep(kTurnHeldMs);
    for (const auto& launcher : launchers)
      if (WaitForSingleObject(launcher.hProcess, 0) != WAIT_TIMEOUT)
        FAIL_AT(c, 1) << "a launcher did not wait for the turn" << when;
    Tree reported;
    Report(c, before, Snapshot(c), when + " while the runner held the turn", reported);
    ReleaseMutex(turn);
  }
  for (const auto& launcher : launchers)
    if (DWORD code = Finish(launcher)) FAIL_AT(c, 1) << "a launcher exited with " << code << when;
  CloseHandle(turn);
}

class Case : public testing::TestWithParam<std::string> {};

TEST_P(Case, Run) {
  CaseFile c = ReadCase(GetParam());
  if (HasFailure()) return;
  if (c.leaveFree >= 0 && !SmallDisk()) GTEST_SKIP() << "no small disk (mounting needs root)";
  for (int round = 1; round <= c.rounds && !HasFailure(); ++round) {
    Arrange(c);
    if (IsSkipped() || HasFatalFailure()) return;
    Tree want = Snapshot(c), root = Below<fs::directory_iterator>(c.work.substr(0, 3));
    for (const auto& [path, content] : c.after)  // under its name as Below spells it
      want[fs::path(path).string()] = content + AttributesOf(path);  // the attributes it had
    for (const auto& path : c.gone) want.erase(fs::path(path).string());
    std::map<std::string, fs::file_time_type> stamps;  // the files that must not be rewritten
    for (const auto& [path, content] : c.before)
      if (path.back() != '\\' && !c.after.count(path) && !c.gone.count(path))
        stamps[path] = fs::last_write_time(path);

    Tree reported[2];  // what was reported of the work folder and the drive's root
    for (int run = 1; run <= 2; ++run) {
      std::string when = c.rounds > 1 ? ", round " + std::to_string(round) : "";
      when += ", run " + std::to_string(run);
      for (const char* log : {"cscript.log", "Prepar3D.log"}) DeleteFileA(log);
      HANDLE hold =
          CreateFileA(c.held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
      Launch(c, when);
      CloseHandle(hold);
      Report(c, want, Snapshot(c), when, reported[0]);
      Report(c, root, Below<fs::directory_iterator>(c.work.substr(0, 3)),
             when + " at the drive's root", reported[1]);
      std::error_code gone;
      for (const auto& [path, time] : stamps)
        if (fs::last_write_time(path, gone) != time)
          FAIL_AT(c, LineOf(c, path)) << NameOf(c, path) << " was rewritten" << when;
    }
  }
  SetCurrentDirectoryA(BIN_DIR);
  for (const auto& folder : c.rootFolders) fs::remove_all(folder);  // other cases look there
}

// Every case file of the case folder, in order of name.
static std::vector<std::string> CaseNames() {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(SOURCE_DIR + CaseFolder()))
    if (entry.path().extension() == ".case") names.push_back(entry.path().stem().string());
  std::sort(names.begin(), names.end());
  return names;
}

INSTANTIATE_TEST_SUITE_P(Cases, Case, testing::ValuesIn(CaseNames()),
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
