// The case language. Each directive is one function in the table at the end:
// it reads the rest of its line and does all that the directive asks for, at
// once, once the case's files are written (setUp), or around each run.
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "case.h"
#include "launcher.h"

// clang-format off
#include <sddl.h>  // after windows.h, which case.h brings
// clang-format on

// A path of the case: below the work folder; at the root of its drive when it
// starts with "\"; as it stands when it names a drive ("V:\..."). The line
// that names it first is kept, for messages.
static std::string Place(CaseFile& c, const std::string& path) {
  bool rooted = path[0] == '\\', whole = path.size() > 2 && path[1] == ':';
  std::string place = whole ? path : rooted ? c.work.substr(0, 2) + path : c.work + "\\" + path;
  if (rooted || whole) c.rootFolders.insert(place.substr(0, place.find('\\', 3)));
  if (whole && GetDriveTypeA(place.substr(0, 3).c_str()) == DRIVE_NO_ROOT_DIR)
    c.skip = "no drive " + place.substr(0, 2) + " (the small disk needs root)";
  std::string name = fs::path(place).string();  // as Below spells it; a folder without its "\"
  c.lines.emplace(name.substr(0, name.find_last_not_of('\\') + 1), c.line);
  return place;
}

// The bytes free on the small disk; -1 when it is not there. It is a drive of a
// few hundred KB, never a real disk.
static long long SmallDiskFree() {
  constexpr ULONGLONG kSmallDiskAtMost = 4 << 20;
  ULARGE_INTEGER free, size;
  if (!GetDiskFreeSpaceExA(SMALL_DISK, &free, &size, nullptr)) return -1;
  return size.QuadPart <= kSmallDiskAtMost ? free.QuadPart : -1;
}

// set NAME=VALUE: sets a variable for the launcher, and for the lines below.
static void Set(CaseFile&, const std::string& rest) {
  size_t equals = rest.find('=');
  SetEnvironmentVariableA(rest.substr(0, equals).c_str(), rest.substr(equals + 1).c_str());
}

// command "VyraLauncher.exe"TEXT: the command line; the launcher receives TEXT.
static void Command(CaseFile& c, const std::string& rest) {
  c.command = rest.substr(rest.find('"', 1) + 1);
}

// --- PATH [< DATA] and +++ PATH [< DATA]: the lines below, each ending in CR LF,
// or the bytes of DATA (below tests/data, or a full path) are what PATH holds
// before, or after, the run. A PATH ending in "\" is a folder.
template <bool kAfter>
static void File(CaseFile& c, const std::string& rest) {
  size_t data = rest.find(" < ");
  std::string path = Place(c, rest.substr(0, data));
  std::string source = data == std::string::npos ? "" : rest.substr(data + 3);
  if (fs::path(source).is_relative() && !source.empty()) source = "tests/data/" + source;
  if (kAfter) c.lines[fs::path(path).string()] = c.line;
  if (kAfter) c.givenBy[fs::path(path).string()] = source;
  c.text = &(kAfter ? c.after : c.before)[path];
  if (source.empty()) return;
  std::string& bytes = *c.text = ReadText(fs::path(SOURCE_DIR) / source);
  c.text = nullptr;
  if (bytes.find('\n') != std::string::npos && bytes.find("\r\n") == std::string::npos &&
      bytes.find('\0') == std::string::npos)
    FAIL_AT(c, c.line) << source << " ends its lines in LF alone: data files are taken byte for "
                       << "byte, so save it with CR LF line ends";
}

// gone PATH: the run removes the file.
static void Gone(CaseFile& c, const std::string& rest) { c.gone.insert(Place(c, rest)); }

// readonly|hidden|system PATH: gives the file, or the folder of a PATH ending in
// "\", that attribute; the case is skipped where the file system keeps none.
template <DWORD kAttribute>
static void Attribute(CaseFile& c, const std::string& rest) {
  std::string path = fs::path(Place(c, rest)).string();
  if (path.back() == '\\') path.pop_back();
  c.setUp.push_back([path] {
    DWORD had = GetFileAttributesA(path.c_str()) & ~FILE_ATTRIBUTE_DIRECTORY;
    // Wine keeps hidden and system in an extended attribute, which a user other
    // than root cannot write on a read-only file: read-only comes last.
    SetFileAttributesA(path.c_str(), had & ~FILE_ATTRIBUTE_READONLY);
    SetFileAttributesA(path.c_str(), (had | kAttribute) & ~FILE_ATTRIBUTE_READONLY);
    SetFileAttributesA(path.c_str(), had | kAttribute);
    if (!(GetFileAttributesA(path.c_str()) & kAttribute))
      GTEST_SKIP() << "this file system does not keep the attributes of " << path;
  });
}

// symlink PATH > TARGET: makes PATH a symbolic link to TARGET, a Unix path as
// `ln -s` takes it, or a case path that names a drive.
static void Symlink(CaseFile& c, const std::string& rest) {
  size_t arrow = rest.find(" > ");
  fs::path link = Place(c, rest.substr(0, arrow));
  std::string target = rest.substr(arrow + 3);
  bool windows = target[1] == ':';
  if (windows) target = Place(c, target);
  c.setUp.push_back([=] { MakeSymbolicLink(link, windows ? LinuxPath(target) : target); });
}

// hardlink PATH > FILE: gives the case's FILE a second name, PATH.
static void Hardlink(CaseFile& c, const std::string& rest) {
  size_t arrow = rest.find(" > ");
  fs::path name = Place(c, rest.substr(0, arrow));
  std::string file = Place(c, rest.substr(arrow + 3));
  c.setUp.push_back([=] {
    fs::create_directories(name.parent_path());
    CreateHardLinkA(name.string().c_str(), file.c_str(), nullptr);
  });
}

// hold PATH [sharing WORD...]: keeps the file open for reading while the
// launchers run, sharing nothing, or what the words name: read, write, delete.
static void Hold(CaseFile& c, const std::string& rest) {
  static const std::map<std::string, DWORD> kSharing = {
      {"read", FILE_SHARE_READ}, {"write", FILE_SHARE_WRITE}, {"delete", FILE_SHARE_DELETE}};
  size_t sharing = rest.find(" sharing ");
  std::string path = Place(c, rest.substr(0, sharing));
  DWORD shared = 0;
  std::istringstream words(sharing == std::string::npos ? "" : rest.substr(sharing + 9));
  for (std::string word; words >> word;) shared |= kSharing.at(word);
  auto file = std::make_shared<HANDLE>();
  c.beforeRun.push_back([=] {
    *file = CreateFileA(path.c_str(), GENERIC_READ, shared, nullptr, OPEN_EXISTING, 0, nullptr);
  });
  c.afterRun.push_back([=] { CloseHandle(*file); });
}

// launchers N: starts N launchers at the same moment, for each run.
static void Launchers(CaseFile& c, const std::string& rest) { c.launchers = std::stoi(rest); }

// The time the runner holds the turn for "turn held": a launcher that did not
// wait for it would have corrected, registered and started by then.
constexpr DWORD kTurnHeldMs = 2000;

// turn held [ACCESS LIST]: the runner holds the launchers' turn, made with that
// access list (in SDDL) if one is given, while they start; after kTurnHeldMs it
// checks that nothing was written, and gives it back. turn abandoned: a thread
// takes the turn and ends without giving it back, as a launcher that died would.
static void Turn(CaseFile& c, const std::string& rest) {
  auto holder = std::make_shared<std::thread>();
  if (rest == "abandoned") {
    auto turn = std::make_shared<HANDLE>();
    c.beforeRun.push_back([=] {
      *turn = CreateMutexA(nullptr, FALSE, kTurnName);
      std::thread([=] { WaitForSingleObject(*turn, INFINITE); }).join();
    });
    c.afterRun.push_back([=] { CloseHandle(*turn); });
    return;
  }
  std::string accessList = rest.substr(std::min(rest.size(), sizeof "held"));
  c.beforeRun.push_back([=, &c] {
    HANDLE taken = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    *holder = std::thread([=, &c] {  // a mutex is given back by the thread that took it
      SECURITY_ATTRIBUTES made = {sizeof made, nullptr, FALSE};
      ConvertStringSecurityDescriptorToSecurityDescriptorA(accessList.c_str(), SDDL_REVISION_1,
                                                           &made.lpSecurityDescriptor, nullptr);
      HANDLE turn = CreateMutexExA(accessList.empty() ? nullptr : &made, kTurnName,
                                   CREATE_MUTEX_INITIAL_OWNER, SYNCHRONIZE | MUTEX_MODIFY_STATE);
      EXPECT_NE(GetLastError(), ERROR_ALREADY_EXISTS) << "the turn was there already";
      LocalFree(made.lpSecurityDescriptor);
      Tree before = Snapshot(c), reported;
      SetEvent(taken);
      Sleep(kTurnHeldMs);
      Report(c, before, Snapshot(c), c.when + " while the runner held the turn", reported);
      ReleaseMutex(turn);
      CloseHandle(turn);
    });
    WaitForSingleObject(taken, INFINITE);
    CloseHandle(taken);
  });
  c.afterRun.push_back([=] { holder->join(); });
}

// free BYTES: puts the work folder on the small disk and, once the case is set
// up, fills the disk until BYTES are free. It comes before any use of %WORK%.
static void Free(CaseFile& c, const std::string& rest) {
  long long leave = std::stoll(rest);
  if (SmallDiskFree() < 0) {
    c.skip = "no small disk (mounting needs root)";
    return;
  }
  SetEnvironmentVariableA("WORK", (c.work = NewFolder(SMALL_DISK + c.name)).c_str());
  c.setUp.push_back([leave] {
    std::string filler = SMALL_DISK "filler";
    DeleteFileA(filler.c_str());
    WriteText(filler, std::string(SmallDiskFree() - leave, '\0'));
    ASSERT_EQ(SmallDiskFree(), leave) << "bytes free after filling";
  });
}

// when PATH appears: while the launchers run, the runner watches for PATH, and
// each time it appears does what the "scan" and "===" lines after this ask for.
static void When(CaseFile& c, const std::string& rest) {
  auto done = std::make_shared<std::atomic<bool>>();
  auto watcher = std::make_shared<std::thread>();
  std::string path = Place(c, rest.substr(0, rest.rfind(" appears")));
  auto there = [path] { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; };
  c.beforeRun.push_back([=, &c] {
    *done = false;
    *watcher = std::thread([=, &c] {
      for (int seen = 0; !*done; Sleep(0)) {
        if (!there()) continue;
        for (const auto& act : c.onAppearance) act(path, seen);
        for (++seen; !*done && there();) Sleep(0);
      }
    });
  });
  c.afterRun.push_back([=] { *done = true, watcher->join(); });
}

// scan MS: the runner opens the file as a virus scanner does (reading, sharing
// reading and writing, not deleting) as soon as it appears, and holds it MS ms.
static void Scan(CaseFile& c, const std::string& rest) {
  DWORD heldMs = std::stoul(rest);
  c.onAppearance.push_back([heldMs](const std::string& path, int) {
    HANDLE file;  // the launcher may hold the new file a moment longer
    while ((file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, 0, nullptr)) == INVALID_HANDLE_VALUE &&
           GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES)
      Sleep(0);
    Sleep(heldMs);
    CloseHandle(file);
  });
}

// === PATH: the lines below are what another program saves into PATH when the
// file appears; for a second "===" block, when it appears the second time.
static void Save(CaseFile& c, const std::string& rest) {
  auto save = std::make_shared<std::pair<std::string, std::string>>(Place(c, rest), "");
  c.text = &save->second;
  c.onAppearance.push_back([save, nth = c.saves++](const std::string&, int seen) {
    if (seen == nth) WriteText(save->first, save->second);
  });
}

const std::map<std::string, Directive> kDirectives = {
    {"---", {File<false>, true}},
    {"+++", {File<true>, true}},
    {"===", {Save, true}},
    {"set", {Set}},
    {"command", {Command}},
    {"gone", {Gone}},
    {"readonly", {Attribute<FILE_ATTRIBUTE_READONLY>}},
    {"hidden", {Attribute<FILE_ATTRIBUTE_HIDDEN>}},
    {"system", {Attribute<FILE_ATTRIBUTE_SYSTEM>}},
    {"symlink", {Symlink}},
    {"hardlink", {Hardlink}},
    {"hold", {Hold}},
    {"launchers", {Launchers}},
    {"turn", {Turn}},
    {"free", {Free}},
    {"when", {When}},
    {"scan", {Scan}},
};

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
  SetEnvironmentVariableA("PATH", BIN_DIR);  // where cmd finds the test doubles
  SetEnvironmentVariableA("BIN", BIN_DIR);
  if (!GetEnvironmentVariableA("LAUNCHER", nullptr, 0))  // the launcher the cases run
    SetEnvironmentVariableA("LAUNCHER", BIN_DIR "VyraLauncher.exe");
  std::ifstream file(fs::path(SOURCE_DIR) / c.file);
  for (std::string line; std::getline(file, line);) {
    ++c.line;
    line = Expand(line);  // once per line, directive or file text
    std::string word = line.substr(0, line.find(' '));
    auto directive = kDirectives.find(word);
    if (directive != kDirectives.end() && (directive->second.startsText || !c.text))
      directive->second.read(c, line.substr(std::min(line.size(), word.size() + 1)));
    else if (c.text)
      *c.text += line + "\r\n";
    else if (!line.empty() && line[0] != '#')
      FAIL_AT(c, c.line) << "not understood: " << line;
  }
  std::string copy = c.work + "\\VyraLauncher.exe";  // a case may run a copy of its own
  c.launcher = c.before.count(copy) ? copy : Expand("%LAUNCHER%");
  return c;
}
