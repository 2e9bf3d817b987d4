// The operating-system operations the launcher uses, as plain functions.
// Texts are UTF-8 unless stated; they cross to Windows in UTF-16, so that every
// path means what it says whatever the system's ANSI code page.
#pragma once

#include <string>

// Space handed to the platform for environment and INI text values, in UTF-16
// characters, terminating zero included.
constexpr unsigned kReadLimit = 1023;

// From here on, every library the process loads comes from the system folder,
// whoever asks for it (the shell loads libraries of its own); where Windows
// cannot restrict that (Vista and 7 without update KB2533623), at least not
// from the current folder.
void LoadLibrariesFromSystemFolderOnly();

// Sets `value` to the variable's value; false, leaving `value` alone, when
// the variable is unset or its value needs more than kReadLimit - 1 characters.
bool GetEnvironmentValue(const std::string& name, std::string& value);

// True when a file or folder exists at `path`.
bool PathExists(const std::string& path);

// An empty `path` names no file: the INI reads below give their fallback, and
// the writes and file operations fail (Windows would look for an INI file in
// its own folder).

// The INI value of `section`/`key` in the file `path`, at most kReadLimit - 1
// characters; `fallback` when the file, section or key is absent.
std::string ReadIniString(const std::string& section, const std::string& key,
                          const std::string& fallback, const std::string& path);

// The INI value as an unsigned integer (0 for a value not starting with digits);
// `fallback` when the file, section or key is absent.
unsigned ReadIniInt(const std::string& section, const std::string& key, int fallback,
                    const std::string& path);

// Sets `section`/`key` to `value`, adding key, section or file when absent;
// false when that is refused. Wine reports success even where a full disk cut
// its rewrite short (see CanGrow).
bool WriteIniString(const std::string& section, const std::string& key, const std::string& value,
                    const std::string& path);

// A file operation that another program's open refuses is tried again with growing
// pauses, about 1.4 s in all, and fails only then: every open of a file that the
// launcher makes itself, the profile write and the copy, when refused for
// sharing; the renames and the removal below, when refused for sharing or access.
// An open that asks for no access, only to look, is never refused so. A program
// that holds one file for good costs a run about 1.4 s (2.8 s for a working copy,
// which is written and then removed). At most 44 operations of a run can be
// refused: 14 in each of the settings check's two passes (a removal, the copy,
// four profile writes and four room checks, the flush, the check that the file
// could be written, the rename, a removal), 8 in each of the module list's two
// (a removal, the read, the copy, the write, the flush, the check that the file
// could be written, the rename, a removal). Where another program refuses every
// one of them until just before its last try, a run spends about 60 s on
// retries, all together.

// The path of the file that `path` finally names, symbolic links followed, in the
// usual spelling (C:\..., \\server\share\...); empty when it cannot be opened.
std::string FinalPath(const std::string& path);

// How many names (hard links) the file `path` has; 0 when that cannot be told.
unsigned NameCount(const std::string& path);

// True when `path` names a file that is neither a folder nor a link and has one name.
bool IsPlainFile(const std::string& path);

// What tells one save of a file from the next: its size and last-write time.
struct FileStamp {
  unsigned long long size = 0;
  unsigned long long written = 0;  // in 100 ns steps
  bool operator==(const FileStamp& other) const {
    return size == other.size && written == other.written;
  }
};

// The stamp of the file `path`; all zero when it cannot be had.
FileStamp StampOf(const std::string& path);

// Copies the file `from` to `to`, where nothing may stand yet, with its read-only,
// hidden, system and archive attributes; false, leaving no copy, when that fails.
bool CopyToNew(const std::string& from, const std::string& to);

// Sets `bytes` to what the file `path` holds, when it holds at most `most` bytes;
// false when it holds more, is a folder, or cannot be read.
bool ReadWholeFile(const std::string& path, std::string& bytes, unsigned long long most);

// Writes `bytes` as the whole of the file `path`: of a new one, where nothing may
// stand yet, when `makeNew`, else of the file there; false when that fails, a new
// file then left not at all.
bool WriteWholeFile(const std::string& path, const std::string& bytes, bool makeNew);

// True when the file `path` can take another 64 KB (more than a cluster) at its
// end, which it is then cut back from: a file cut short for want of room (a full
// disk, a quota) cannot grow, one that can was written whole.
bool CanGrow(const std::string& path);

// Forces what was written to the file `path` onto the disk; false when that fails.
bool FlushToDisk(const std::string& path);

// Puts the file `replacement` in the place of the file `path` in one step, if `path`
// still has the stamp `stamp`, is not read-only, and could be opened for writing
// (tried again while that is refused for sharing); false, with both as they were,
// when it does not or the rename fails.
bool ReplaceFileWith(const std::string& path, const std::string& replacement,
                     const FileStamp& stamp);

// Renames the file `from` to `to`, where nothing may stand, in one step; false,
// with both as they were, when that fails.
bool MoveToNew(const std::string& from, const std::string& to);

// Removes the file `path`, whatever its attributes.
void RemoveFile(const std::string& path);

// Waits at most `waitMs` for the turn `name`, a mutex shared by the processes of
// the logon session, and takes it; nullptr when it did not come. The turn is
// opened with the rights to wait for it and give it back only, and made, when it
// is not there yet, so that every process of the session may do both. A turn
// that refuses even those is tried again within `waitMs`. A turn left by a
// process that ended without giving it back counts as taken.
void* TakeTurn(const char* name, unsigned waitMs);

// Gives back a turn that TakeTurn took.
void GiveBackTurn(void* turn);

// True when desktop composition is on; false when it is off or the query fails,
// or dwmapi.dll cannot be had from the system folder.
bool IsCompositionEnabled();

// Case-sensitive comparison of two whole UTF-16 texts, as StrCmpW makes it.
bool TextEquals(const wchar_t* a, const wchar_t* b);

// True when the script host would find a script engine for files ending in
// `extension` (".vbs"): when the registry, in this process's view, names the
// extension's file type, that type's engine, the engine's class, and the class's
// library, as the host looks them up.
bool ScriptEngineRegistered(const std::string& extension);

// Starts the console program file `name` of the Windows system folder (for
// this 32-bit process on 64-bit Windows, the file system redirector makes it
// SysWOW64's), handing it `commandLine` exactly as its command line (no command
// processor takes part), in the current folder and environment, inheriting no
// handle, its console minimized without the focus, and waits for it to exit;
// returns at once when it cannot be started.
void RunSystemProgram(const std::string& name, const std::string& commandLine);

// Looks for the program file `name` where Windows looks for a program named
// without a folder (the launcher's own folder, the current folder, the system
// folders, then the search path), and starts it by its full path as Explorer
// does, through the shell: Windows asks for raised rights where the program or
// the user requires them. Returns once it has exited; at once when it is not
// found, cannot be started, or the user declines.
void StartProgram(const std::string& name);
