// The operating-system operations the launcher uses, as plain functions.
// Texts are UTF-8 unless stated; they cross to Windows in UTF-16, so that every
// path means what it says whatever the system's ANSI code page.
#pragma once

#include <string>
#include <vector>

// Space handed to the platform for environment and INI text values, in UTF-16
// characters, terminating zero included.
constexpr unsigned kReadLimit = 1023;

// What Windows answered: its system error code (winerror.h), 0 where the
// operation was done. These are the ones the launcher tells apart.
using Answer = unsigned long;
constexpr Answer kDone = 0, kFileNotFound = 2, kPathNotFound = 3, kAccessDenied = 5,
                 kSharingViolation = 32, kLockViolation = 33, kFileExists = 80, kDiskFull = 112,
                 kFileTooLarge = 223, kUserMappedFile = 1224;
// An answer of the launcher's own (Windows leaves bit 29 of an error code to
// programs): the file at a working copy's name is not that copy.
constexpr Answer kNotTheCopy = 0x20000002;

// The most a file the launcher reads may hold: more than any settings file or
// module list a simulator writes. A larger one is not read, and stays as it is.
constexpr unsigned long kLargestFile = 1 << 20;

// What CheckRoom writes and cuts off again: more than a cluster.
constexpr unsigned long kRoom = 64 * 1024;
constexpr unsigned long long kUnmeasured = ~0ull;  // a length CheckRoom measures itself

// File attributes (winnt.h), as Stat tells them and SetAttributes takes them.
constexpr unsigned long kReadOnly = 0x1, kHidden = 0x2, kSystem = 0x4, kFolder = 0x10,
                        kArchive = 0x20, kNormal = 0x80, kReparsePoint = 0x400;

// What a file's folder entry tells.
struct FileStat {
  unsigned long attributes = 0;
  unsigned long long size = 0;
  unsigned long long written = 0;  // the last-write time, in 100 ns steps
};

// A working copy the launcher made beside a file: its path, and a handle kept
// from its making that asks for its attributes alone (such an open takes no part
// in sharing, the CreateFileW page, so that the profile functions can still open
// the copy). An operation on a working copy opens the file at its name and answers
// kNotTheCopy where that is another file than the one `kept` holds (by volume
// serial number and file index, the GetFileInformationByHandle page); a `kept` of
// nullptr names whatever file is there.
struct WorkingCopy {
  std::string path;
  void* kept = nullptr;
};

// The file operations, bound in platform_win32.cpp; the launcher calls them as
// files::Stat and so on (files.h). Each opens a file (or names one) once and makes
// one change or query of it, answering what Windows answered; whether to try
// again, and what an answer means, is for the edit. Where the launcher opens a
// file itself, it shares everything, but for the working copy, which it lets no
// one remove or rename while it is open.
// clang-format off
namespace win32 {

// The attributes, size and last-write time of `path`'s folder entry, without opening the file.
Answer Stat(const std::string& path, FileStat& stat);
// The path the file `path` finally names, links followed, in the usual spelling (C:\..., \\server\share\...), normalized: the open's answer, or GetFinalPathNameByHandleW's where it cannot tell one.
Answer FinalPathOf(const std::string& path, std::string& final);
// As FinalPathOf, the name as it was opened, not normalized: what a share answers where it refuses the normalized one.
Answer OpenedPathOf(const std::string& path, std::string& opened);
// How many names (hard links) the file `path` has.
Answer NameCountOf(const std::string& path, unsigned& names);
// An open of the file `path` for reading that reads it through (kFileTooLarge where it holds more than kLargestFile) and, while it is still open, section/key's INI value (at most kReadLimit - 1 characters) into `value`, or `fallback` where there is none; `fallback` too where there is no file.
Answer ReadIniText(const std::string& section, const std::string& key, const std::string& fallback, const std::string& path, std::string& value);
// As ReadIniText, the value as an unsigned integer (0 where it does not start with digits).
Answer ReadIniNumber(const std::string& section, const std::string& key, int fallback, const std::string& path, unsigned& value);
// Sets section/key of the INI file `path` to `value`, adding key, section or file; Wine answers done where a full disk cut its rewrite short (see CheckRoom).
Answer WriteIniText(const std::string& section, const std::string& key, const std::string& value, const std::string& path);
// Makes the working copy `copy.path` where nothing stands, without attributes, holding the file `from` (at most kLargestFile), and sets `copy.kept`; where it answers otherwise, nothing of it is left.
Answer CopyNew(const std::string& from, WorkingCopy& copy);
// As CopyNew, an empty copy.
Answer MakeNew(WorkingCopy& copy);
// Sets the attributes of the working copy to `attributes` (kNormal for none).
Answer SetAttributes(const WorkingCopy& copy, unsigned long attributes);
// Sets `bytes` to the whole file `path`, opened sharing everything; kFileTooLarge where it holds more than kLargestFile.
Answer ReadWhole(const std::string& path, std::string& bytes);
// Writes `bytes` as the whole of the working copy.
Answer WriteWhole(const WorkingCopy& copy, const std::string& bytes);
// Writes kRoom bytes at `length` in the working copy and cuts it back to `length` (its length, measured first where `length` is kUnmeasured): a file a full disk or a quota cut short cannot grow.
Answer CheckRoom(const WorkingCopy& copy, unsigned long long& length);
// Forces what was written to the working copy onto the disk.
Answer Flush(const WorkingCopy& copy);
// Opens the file `path` for writing, sharing everything, and closes it.
Answer CheckWritable(const std::string& path);
// Renames the working copy to `to`, in one step; replacing a file at `to` only where `replace`.
Answer Rename(const WorkingCopy& copy, const std::string& to, bool replace);
// Removes the working copy (a read-only one refuses: kAccessDenied).
Answer Remove(const WorkingCopy& copy);
// Closes the working copy's kept handle; the copy itself stays as it is.
void LetGo(WorkingCopy& copy);
// Waits `ms` milliseconds.
void Pause(unsigned ms);

}  // namespace win32

// The rest, bound in platform_win32.cpp by these names.
// From here on, every library the process loads comes from the system folder, whoever asks for it (the shell loads its own); where Windows cannot restrict that (Vista and 7 without update KB2533623), at least not from the current folder.
void LoadLibrariesFromSystemFolderOnly();
// Sets `value` to the variable's value; false, leaving `value` alone, when it is unset or needs more than kReadLimit - 1 characters.
bool GetEnvironmentValue(const std::string& name, std::string& value);
// True when a file or folder exists at `path`.
bool PathExists(const std::string& path);
// True when two paths are the same as the file system compares names: in UTF-16, in any letter case.
bool SamePath(const std::string& a, const std::string& b);
// Waits at most `waitMs` for the turn `name`, a mutex of the logon session that everyone may wait for and give back (it is made so where it is not there yet), and takes it; nullptr when it did not come. A turn left by a process that ended counts as taken.
void* TakeTurn(const char* name, unsigned waitMs);
// Gives back a turn that TakeTurn took.
void GiveBackTurn(void* turn);
// True when desktop composition is on; false when it is off, the query fails, or dwmapi.dll cannot be had from the system folder.
bool IsCompositionEnabled();
// Case-sensitive comparison of two whole UTF-16 texts, as StrCmpW makes it.
bool TextEquals(const wchar_t* a, const wchar_t* b);
// True when the registry, in this process's view, names the script engine of files ending in `extension` (".vbs") as the script host looks it up: the file type, its engine, the engine's class and the class's library.
bool ScriptEngineRegistered(const std::string& extension);
// Starts the console program `name` of the system folder with `commandLine` as its command line (no command processor), in the current folder and environment, inheriting no handle, its console minimized without the focus, and waits for it; at once where it cannot start.
void RunSystemProgram(const std::string& name, const std::string& commandLine);
// The folders where CreateProcess looks for the program `name` named without a folder, in its order: the launcher's, the current one (unless the environment says NoDefaultCurrentDirectoryInExePath), the system folders, the Windows folder; last, PATH as it stands.
std::vector<std::string> ProgramFolders(const std::string& name);
// The full path of `path`, as Windows makes it of a relative one; empty where it cannot.
std::string FullPath(const std::string& path);
// Starts the program `path` by its full path as Explorer does, through the shell (Windows asks for raised rights where the program or the user requires them), and waits for it; at once where it cannot start or the user declines.
void StartProgram(const std::string& path);
// clang-format on
