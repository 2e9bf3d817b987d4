// The operations the launcher asks of Windows, each contract in a line. Included
// twice by platform.h, once for the binding's names, so it has no include guard.

// Files. Each opens a file (or names one) once and makes one change or query of
// it, answering what Windows answered; whether to try again, and what an answer
// means, is for the edit. Where the launcher opens a file itself, it shares
// everything, but for the working copy, which it lets no one remove or rename
// while it is open.

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

// The rest.

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
