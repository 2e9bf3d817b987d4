// The file operations the launcher asks of Windows, each contract in a line.
// Included twice by platform.h, once for the binding's names, so it has no
// include guard.

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
