// The case runner. It reads a case file of tests/cases (tests/README.md tells the
// language), sets the case up in its work folder, starts the launcher there
// twice, and compares what is there afterwards with what the case expects.
//   case_language.cpp  the directives: each one function, in one table
//   meanwhile.cpp      the directives that act around each run
//   run_case.cpp       reading a case, setting it up, running it: the test itself
//   files.cpp          files and folders, as the runner makes and reads them
//   compare.cpp        the differences from what the case expects
#pragma once

#include <windows.h>

#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

// The runner's texts are UTF-8, as the launcher's are, and cross to Windows in
// UTF-16. A path made from narrow text would read it in the ANSI code page, so
// every path is made with PathOf; path::string() gives UTF-8.
namespace fs = std::filesystem;

inline fs::path PathOf(const std::string& utf8) { return fs::u8path(utf8); }
std::wstring Wide(const std::string& utf8);
std::string Utf8(const std::wstring& wide);

// `path` below the project, unless it is a full path.
inline std::string InProject(const std::string& path) {
  return (PathOf(SOURCE_DIR) / PathOf(path)).string();
}

// A file or a folder, as the runner compares it.
struct Entry {
  std::string bytes;     // a file's; empty for a folder
  DWORD attributes = 0;  // folder, read-only, hidden and system
  bool operator==(const Entry& other) const {
    return bytes == other.bytes && attributes == other.attributes;
  }
};

// Entries by path.
using Tree = std::map<std::string, Entry>;

// A file that the run changes, as its "+++" line gives it.
struct Changed {
  std::string place;  // the file, as Place gives it
  std::string bytes;  // what it holds after the run
  int line = 0;       // the "+++" line
};

struct CaseFile;

// What a directive does around each run: it starts its work before the launchers
// start and hands back what ends it, which is called once they have exited.
using Stop = std::function<void()>;
using Start = std::function<Stop(const CaseFile& c)>;

// How long the runner waits for a run's launchers.
constexpr DWORD kLaunchersAtMostMs = 180000;

// What a case needs of the machine, as it declares it.
constexpr char kRunsAlone[] = "runs alone";
constexpr char kTakesTheSmallDisk[] = "takes the small disk";

// What a case file says. Paths are kept as Place gives them, which the Windows
// API takes, or, where it says "by spelling", as a Tree holds them.
struct CaseFile {
  std::string file;                              // the case file, as messages name it
  std::string work;                              // the work folder the launcher runs in
  std::string launcher;                          // the launcher it runs
  std::string command;                           // the command line after the program's name
  int line = 0;                                  // the line being read
  std::string when;                              // the run going on, for messages: ", run 1"
  std::map<std::string, std::string> variables;  // for the launchers, and the lines below
  std::map<std::string, int> firstNamedAt;       // by spelling: the line that names a path first
  std::map<std::string, std::string> before;  // files, and folders ending in "\", and their bytes
  std::map<std::string, Changed> after;       // by spelling: the files that change
  std::set<std::string> gone;                 // by spelling: the files that the run removes
  std::set<std::string> rootFolders;          // folders at a drive's root that the case names
  std::vector<std::function<void()>> setUp;   // once its files are written
  std::vector<Start> around;                  // each run
  int launchers = 1;                          // started at the same moment
  std::map<std::string, int> needs;  // kRunsAlone, kTakesTheSmallDisk: the first line that needs it
  std::map<std::string, int> says;   // what the case declares it needs, and where
  std::string skip;                  // why the case cannot run here
};

// A directive of the case language: what it does with the rest of its line, and,
// for one that starts the text of a file, with that text, its lines each ending
// in CR LF, up to the next such directive, false where the line's parts do not fit
// `usage`; and what a case with it needs.
struct Directive {
  bool (*read)(CaseFile& c, const std::string& rest) = nullptr;
  bool (*readText)(CaseFile& c, const std::string& rest, const std::string& text) = nullptr;
  const char* usage = "";  // what follows the directive's word
  const char* needs = nullptr;
};

// Every directive, by its first word.
extern const std::map<std::string, Directive> kDirectives;

// A path of the case: below the work folder; at the root of its drive when it
// starts with "\"; as it stands when it names a drive ("V:\..."). The line
// that names it first is kept, for messages.
std::string Place(CaseFile& c, const std::string& path);

// `path` as Below spells the entries it finds, a folder without its "\".
std::string Spelling(const std::string& path);

// True, with `number` set, when `text` is a whole number of decimal digits.
bool IsNumber(const std::string& text, unsigned long long& number);

// The directives of meanwhile.cpp.
bool Unregister(CaseFile& c, const std::string& rest);
bool Quarantine(CaseFile& c, const std::string& rest);

// The folder of the case files, below the project: tests/cases, or CASES when set.
std::string CaseFolder();

// Reads the case file `name`, and only reads it: nothing is made or set.
CaseFile ReadCase(const std::string& name);

// An empty folder `folder`, emptied if it was there.
std::string NewFolder(const std::string& folder);

// Writes `text` to `path`, making the folders on the way ("...\" makes only folders).
void WriteText(const std::string& path, const std::string& text);

std::string ReadText(const std::string& path);

// Makes `link` a symbolic link to the Unix path `target`.
void MakeSymbolicLink(const std::string& link, const std::string& target);

// The Linux spelling of the Windows path `path`, as Wine maps it.
std::string LinuxPath(const std::string& path);

Entry EntryAt(const fs::path& path);

// Every entry below `folder`, or only in it when `deep` is false.
Tree Below(const std::string& folder, bool deep = true);

// Every entry below the work folder and the folders at a drive's root that the case names.
Tree Snapshot(const CaseFile& c);

// The case file's line that names `path` (in the runner's spelling or the case's):
// its "+++" line, else the first that names it, else 1.
int LineOf(const CaseFile& c, const std::string& path);

// `path` as messages give it: below the work folder, or whole.
std::string NameOf(const CaseFile& c, const std::string& path);

// Records a failure at a line of the case file, "FILE:LINE:", where an editor jumps to.
#define FAIL_AT_LINE(c, line) ADD_FAILURE_AT((c).file.c_str(), line)

// Reports each entry that differs from what `want` holds, at the case file's line
// that names it, with a diff.
void Report(const CaseFile& c, const Tree& want, const Tree& got, const std::string& when);
