// Reading a case. Each directive is one function in the table at the end: it
// reads the rest of its line and notes what the directive asks for, to be done
// when the case is set up (setUp) or around each run (around, in meanwhile.cpp).
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "case.h"

std::string Spelling(const std::string& path) {
  std::string spelled = PathOf(path).string();
  while (spelled.size() > 1 && spelled.back() == '\\') spelled.pop_back();
  return spelled;
}

// The folder at the root of its drive that the full path `place` ("C:\...") lies in.
static std::string RootFolderOf(const std::string& place) {
  const size_t afterDrive = 3;  // "C:\"
  return place.substr(0, place.find('\\', afterDrive));
}

// Every case checks the root of its drive: one with files there runs alone.
// The small disk has one case at a time.
std::string Place(CaseFile& c, const std::string& path) {
  bool namesDrive = path.size() > 2 && path[1] == ':';
  bool atDriveRoot = path[0] == '\\';
  std::string place;
  if (namesDrive)
    place = path;
  else if (atDriveRoot)
    place = c.work.substr(0, 2) + path;
  else
    place = c.work + "\\" + path;
  if (namesDrive || atDriveRoot) c.rootFolders.insert(RootFolderOf(place));
  if (atDriveRoot) c.needs.emplace(kRunsAlone, c.line);
  if (namesDrive) c.needs.emplace(kTakesTheSmallDisk, c.line);
  if (namesDrive && GetDriveTypeW(Wide(place.substr(0, 3)).c_str()) == DRIVE_NO_ROOT_DIR)
    c.skip = "no drive " + place.substr(0, 2) + " (the small disk needs root)";
  c.firstNamedAt.emplace(Spelling(place), c.line);
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

// set NAME=VALUE: sets a variable for the launcher, and for the lines below.
static void Set(CaseFile& c, const std::string& rest) {
  size_t equals = rest.find('=');
  c.variables[rest.substr(0, equals)] = rest.substr(equals + 1);
}

// command "VyraLauncher.exe"TEXT: the command line; the launcher receives TEXT.
static void Command(CaseFile& c, const std::string& rest) {
  c.command = rest.substr(rest.find('"', 1) + 1);
}

// --- PATH [< DATA [as is]] and +++ PATH [< DATA [as is]]: the lines below, each
// ending in CR LF, or the bytes of DATA (below tests/data, or a full path) are what
// PATH holds before, or after, the run. A PATH ending in "\" is a folder. DATA is
// a text with CR LF line ends, unless the case says "as is".
template <bool kAfter>
static void File(CaseFile& c, const std::string& rest, const std::string& text) {
  size_t data = rest.find(" < ");
  std::string path = Place(c, rest.substr(0, data));
  std::string dataFile;
  if (data != std::string::npos) dataFile = rest.substr(data + 3);
  const std::string kAsIs = " as is";
  bool asIs = dataFile.size() > kAsIs.size() &&
              dataFile.compare(dataFile.size() - kAsIs.size(), kAsIs.size(), kAsIs) == 0;
  if (asIs) dataFile.resize(dataFile.size() - kAsIs.size());
  if (!dataFile.empty() && PathOf(dataFile).is_relative()) dataFile = "tests/data/" + dataFile;
  std::string bytes = text;
  if (!dataFile.empty()) {
    bytes = ReadText(InProject(dataFile));
    bool lfAlone = bytes.find('\n') != std::string::npos &&
                   bytes.find("\r\n") == std::string::npos && bytes.find('\0') == std::string::npos;
    if (!text.empty())
      FAIL_AT(c, c.line + 1) << "not understood: " << text.substr(0, text.find("\r\n"));
    if (lfAlone && !asIs)
      FAIL_AT(c, c.line) << dataFile << " ends its lines in LF alone: data files are taken byte "
                         << "for byte, so save it with CR LF line ends, or say \"as is\"";
  }
  int textLines = std::count(text.begin(), text.end(), '\n');
  if (kAfter)
    c.after[Spelling(path)] = {path, bytes, c.line, textLines, dataFile};
  else
    c.before[path] = bytes;
}

// gone PATH: the run removes the file.
static void Gone(CaseFile& c, const std::string& rest) { c.gone.insert(Spelling(Place(c, rest))); }

// readonly|hidden|system PATH: gives the file, or the folder of a PATH ending in
// "\", that attribute; the case is skipped where the file system keeps none.
template <DWORD kAttribute>
static void Attribute(CaseFile& c, const std::string& rest) {
  std::string path = Place(c, rest);
  if (path.back() == '\\') path.pop_back();
  c.setUp.push_back([path = Wide(path)] {
    DWORD had = GetFileAttributesW(path.c_str()) & ~FILE_ATTRIBUTE_DIRECTORY;
    // Wine keeps hidden and system in an extended attribute, which a user other
    // than root cannot write on a read-only file: read-only comes last.
    SetFileAttributesW(path.c_str(), had & ~FILE_ATTRIBUTE_READONLY);
    SetFileAttributesW(path.c_str(), (had | kAttribute) & ~FILE_ATTRIBUTE_READONLY);
    SetFileAttributesW(path.c_str(), had | kAttribute);
    if (!(GetFileAttributesW(path.c_str()) & kAttribute))
      GTEST_SKIP() << "this file system does not keep the attributes of " << Utf8(path);
  });
}

// symlink PATH > TARGET: makes PATH a symbolic link to TARGET, a Unix path as
// `ln -s` takes it, or a case path that names a drive.
static void Symlink(CaseFile& c, const std::string& rest) {
  size_t arrow = rest.find(" > ");
  std::string link = Place(c, rest.substr(0, arrow));
  std::string target = rest.substr(arrow + 3);
  bool windows = target[1] == ':';
  if (windows) target = Place(c, target);
  c.setUp.push_back([=] { MakeSymbolicLink(link, windows ? LinuxPath(target) : target); });
}

// hardlink PATH > FILE: gives the case's FILE a second name, PATH.
static void Hardlink(CaseFile& c, const std::string& rest) {
  size_t arrow = rest.find(" > ");
  std::string name = Place(c, rest.substr(0, arrow));
  std::string file = Place(c, rest.substr(arrow + 3));
  c.setUp.push_back([=] {
    fs::create_directories(PathOf(name).parent_path());
    CreateHardLinkW(Wide(name).c_str(), Wide(file).c_str(), nullptr);
  });
}

// launchers N: starts N launchers at the same moment, for each run.
static void Launchers(CaseFile& c, const std::string& rest) { c.launchers = std::stoi(rest); }

// free BYTES: the work folder is on the small disk (wherever the line stands), and
// once the case's files are written the disk is filled until BYTES are free.
static void Free(CaseFile& c, const std::string& rest) {
  long long leave = std::stoll(rest);
  if (SmallDiskFree() < 0) c.skip = "no small disk (mounting needs root)";
  c.rootFolders.insert(SMALL_DISK "filler");  // removed after the case, so that others find room
  c.setUp.push_back([leave] {
    std::string filler = SMALL_DISK "filler";
    DeleteFileA(filler.c_str());
    WriteText(filler, std::string(SmallDiskFree() - leave, '\0'));
    ASSERT_EQ(SmallDiskFree(), leave) << "bytes free after filling";
  });
}

const std::map<std::string, Directive> kDirectives = {
    {"---", {nullptr, File<false>}},
    {"+++", {nullptr, File<true>}},
    {"===", {nullptr, Save}},
    {"set", {Set}},
    {"command", {Command}},
    {"gone", {Gone}},
    {"readonly", {Attribute<FILE_ATTRIBUTE_READONLY>}},
    {"hidden", {Attribute<FILE_ATTRIBUTE_HIDDEN>}},
    {"system", {Attribute<FILE_ATTRIBUTE_SYSTEM>}},
    {"symlink", {Symlink}},
    {"hardlink", {Hardlink}},
    {"hold", {Hold}},
    {"launchers", {Launchers, nullptr, kRunsAlone}},
    {"turn", {Turn, nullptr, kRunsAlone}},
    {"when", {When, nullptr, kRunsAlone}},
    {"unregister", {Unregister, nullptr, kRunsAlone}},
    {"free", {Free, nullptr, kTakesTheSmallDisk}},
};

// True when `line` starts the text of a file ("---", "+++", "===").
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
  c.name = name;
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
      if (!line.empty() && line[0] != '#') FAIL_AT(c, c.line) << "not understood: " << line;
      continue;
    }
    if (directive->second.needs) c.needs.emplace(directive->second.needs, c.line);
    if (directive->second.read) {
      directive->second.read(c, rest);
    } else {  // the text of a file: every line up to the next one that starts a text
      std::string text;
      for (; next < lines.size() && !StartsText(lines[next]); ++next)
        text += Expand(c, lines[next]) + "\r\n";
      directive->second.readText(c, rest, text);
    }
  }
  c.launcher = c.variables["LAUNCHER"];
  for (const auto& [path, bytes] : c.before)  // a case may run a copy of its own
    if (PathOf(path).filename() == "VyraLauncher.exe") c.launcher = path;
  for (const auto& [need, line] : c.needs)
    if (!c.says.count(need)) FAIL_AT(c, line) << "this needs the case to say \"" << need << "\"";
  for (const auto& [need, line] : c.says)
    if (!c.needs.count(need)) FAIL_AT(c, line) << "nothing in the case needs \"" << need << "\"";
  return c;
}
