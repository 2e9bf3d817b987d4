// The case language. Each directive is one function in the table at the end: it
// reads the rest of its line and notes what the directive asks for, to be done
// when the case is set up (setUp) or around each run (around, in meanwhile.cpp).
#include <gtest/gtest.h>

#include "case.h"

std::string Spelling(const std::string& path) {
  return path.back() == '\\' ? path.substr(0, path.size() - 1) : path;
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
  const size_t afterDrive = 3;  // "C:\": the folder at the drive's root that `place` lies in
  if (namesDrive || atDriveRoot)
    c.rootFolders.insert(place.substr(0, place.find('\\', afterDrive)));
  if (atDriveRoot) c.needs.emplace(kRunsAlone, c.line);
  if (namesDrive) c.needs.emplace(kTakesTheSmallDisk, c.line);
  if (namesDrive && GetDriveTypeW(Wide(place.substr(0, 3)).c_str()) == DRIVE_NO_ROOT_DIR)
    c.skip = "no drive " + place.substr(0, 2) + " (the small disk needs root)";
  c.firstNamedAt.emplace(Spelling(place), c.line);
  return place;
}

// The bytes free on the small disk; -1 when it is not there. It is a drive of a
// 1 MB tmpfs (small-disk.sh), never a real disk.
static long long SmallDiskFree() {
  constexpr ULONGLONG kSmallDiskAtMost = 4 << 20;
  ULARGE_INTEGER free, size;
  if (!GetDiskFreeSpaceExA(SMALL_DISK, &free, &size, nullptr)) return -1;
  return size.QuadPart <= kSmallDiskAtMost ? free.QuadPart : -1;
}

bool IsNumber(const std::string& text, unsigned long long& number) {
  if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != std::string::npos)
    return false;
  number = std::stoull(text);
  return true;
}

// PATH > OTHER, as symlink and hardlink take it: false where a part is missing.
static bool TwoPaths(const std::string& rest, std::string& path, std::string& other) {
  size_t arrow = rest.find(" > ");
  if (arrow == 0 || arrow == std::string::npos || arrow + 3 == rest.size()) return false;
  path = rest.substr(0, arrow);
  other = rest.substr(arrow + 3);
  return true;
}

// set NAME=VALUE: sets a variable for the launcher, and for the lines below.
static bool Set(CaseFile& c, const std::string& rest) {
  size_t equals = rest.find('=');
  if (equals == 0 || equals == std::string::npos) return false;
  c.variables[rest.substr(0, equals)] = rest.substr(equals + 1);
  return true;
}

// command "VyraLauncher.exe"TEXT: the command line; the launcher receives TEXT.
static bool Command(CaseFile& c, const std::string& rest) {
  size_t closing = rest.find('"', 1);
  if (rest[0] != '"' || closing == std::string::npos) return false;
  c.command = rest.substr(closing + 1);
  return true;
}

// --- PATH [< DATA] and +++ PATH [< DATA]: the lines below, each ending in CR LF,
// or the bytes of DATA (below tests/data, or a full path), byte for byte, are what
// PATH holds before, or after, the run. A PATH ending in "\" is a folder.
template <bool kAfter>
static bool File(CaseFile& c, const std::string& rest, const std::string& text) {
  size_t data = rest.find(" < ");
  if (data == 0) return false;
  std::string path = Place(c, rest.substr(0, data));
  std::string dataFile;
  if (data != std::string::npos) dataFile = rest.substr(data + 3);
  if (!dataFile.empty() && PathOf(dataFile).is_relative()) dataFile = "tests/data/" + dataFile;
  std::string bytes = text;
  if (!dataFile.empty()) {
    if (!fs::is_regular_file(PathOf(InProject(dataFile)))) return false;
    bytes = ReadText(InProject(dataFile));
    if (!text.empty())
      FAIL_AT_LINE(c, c.line + 1) << "not understood: " << text.substr(0, text.find("\r\n"));
  }
  if (kAfter)
    c.after[Spelling(path)] = {path, bytes, c.line};
  else
    c.before[path] = bytes;
  return true;
}

// gone PATH: the run removes the file.
static bool Gone(CaseFile& c, const std::string& rest) {
  c.gone.insert(Spelling(Place(c, rest)));
  return true;
}

// readonly|hidden|system PATH: gives the file, or the folder of a PATH ending in
// "\", that attribute; the case is skipped where the file system keeps none.
template <DWORD kAttribute>
static bool Attribute(CaseFile& c, const std::string& rest) {
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
  return true;
}

// symlink PATH > TARGET: makes PATH a symbolic link to TARGET, a Unix path as
// `ln -s` takes it, or a case path that names a drive.
static bool Symlink(CaseFile& c, const std::string& rest) {
  std::string link, target;
  if (!TwoPaths(rest, link, target)) return false;
  link = Place(c, link);
  bool windows = target.size() > 1 && target[1] == ':';
  if (windows) target = Place(c, target);
  c.setUp.push_back([=] { MakeSymbolicLink(link, windows ? LinuxPath(target) : target); });
  return true;
}

// hardlink PATH > FILE: gives the case's FILE a second name, PATH.
static bool Hardlink(CaseFile& c, const std::string& rest) {
  std::string name, file;
  if (!TwoPaths(rest, name, file)) return false;
  name = Place(c, name);
  file = Place(c, file);
  c.setUp.push_back([=] {
    fs::create_directories(PathOf(name).parent_path());
    CreateHardLinkW(Wide(name).c_str(), Wide(file).c_str(), nullptr);
  });
  return true;
}

// launchers N: starts N launchers at the same moment, for each run.
static bool Launchers(CaseFile& c, const std::string& rest) {
  unsigned long long n;
  if (!IsNumber(rest, n) || n < 1 || n > MAXIMUM_WAIT_OBJECTS) return false;
  c.launchers = n;
  return true;
}

// free BYTES: the work folder is on the small disk (wherever the line stands), and
// once the case's files are written the disk is filled until BYTES are free.
static bool Free(CaseFile& c, const std::string& rest) {
  unsigned long long leave;
  if (!IsNumber(rest, leave)) return false;
  if (SmallDiskFree() < 0) c.skip = "no small disk (mounting needs root)";
  c.rootFolders.insert(SMALL_DISK "filler");  // removed after the case, so that others find room
  c.setUp.push_back([leave] {
    std::string filler = SMALL_DISK "filler";
    DeleteFileA(filler.c_str());
    WriteText(filler, std::string(SmallDiskFree() - leave, '\0'));
    ASSERT_EQ(SmallDiskFree(), (long long)leave) << "bytes free after filling";
  });
  return true;
}

const std::map<std::string, Directive> kDirectives = {
    {"---", {nullptr, File<false>, "PATH [< DATA]"}},
    {"+++", {nullptr, File<true>, "PATH [< DATA]"}},
    {"set", {Set, nullptr, "NAME=VALUE"}},
    {"command", {Command, nullptr, "\"VyraLauncher.exe\"TEXT"}},
    {"gone", {Gone, nullptr, "PATH"}},
    {"readonly", {Attribute<FILE_ATTRIBUTE_READONLY>, nullptr, "PATH"}},
    {"hidden", {Attribute<FILE_ATTRIBUTE_HIDDEN>, nullptr, "PATH"}},
    {"system", {Attribute<FILE_ATTRIBUTE_SYSTEM>, nullptr, "PATH"}},
    {"symlink", {Symlink, nullptr, "PATH > TARGET"}},
    {"hardlink", {Hardlink, nullptr, "PATH > FILE"}},
    {"launchers", {Launchers, nullptr, "N", kRunsAlone}},
    {"unregister", {Unregister, nullptr, "KEY", kRunsAlone}},
    {"quarantine", {Quarantine, nullptr, "NAME", kRunsAlone}},
    {"free", {Free, nullptr, "BYTES", kTakesTheSmallDisk}},
};
