// The launcher's file operations, each passed straight on to the binding. A test
// links its own file in this one's place, which may answer instead.
#include "platform.h"

// clang-format off
Answer Stat(const std::string& path, FileStat& stat) { return win32::Stat(path, stat); }
Answer FinalPathOf(const std::string& path, std::string& final) { return win32::FinalPathOf(path, final); }
Answer OpenedPathOf(const std::string& path, std::string& opened) { return win32::OpenedPathOf(path, opened); }
Answer NameCountOf(const std::string& path, unsigned& names) { return win32::NameCountOf(path, names); }
Answer ReadIniText(const std::string& section, const std::string& key, const std::string& fallback, const std::string& path, std::string& value) { return win32::ReadIniText(section, key, fallback, path, value); }
Answer ReadIniNumber(const std::string& section, const std::string& key, int fallback, const std::string& path, unsigned& value) { return win32::ReadIniNumber(section, key, fallback, path, value); }
Answer WriteIniText(const std::string& section, const std::string& key, const std::string& value, const std::string& path) { return win32::WriteIniText(section, key, value, path); }
Answer CopyNew(const std::string& from, WorkingCopy& copy) { return win32::CopyNew(from, copy); }
Answer MakeNew(WorkingCopy& copy) { return win32::MakeNew(copy); }
Answer SetAttributes(const WorkingCopy& copy, unsigned long attributes) { return win32::SetAttributes(copy, attributes); }
Answer ReadWhole(const std::string& path, std::string& bytes) { return win32::ReadWhole(path, bytes); }
Answer WriteWhole(const WorkingCopy& copy, const std::string& bytes) { return win32::WriteWhole(copy, bytes); }
Answer CheckRoom(const WorkingCopy& copy, unsigned long long& length) { return win32::CheckRoom(copy, length); }
Answer Flush(const WorkingCopy& copy) { return win32::Flush(copy); }
Answer CheckWritable(const std::string& path) { return win32::CheckWritable(path); }
Answer Rename(const WorkingCopy& copy, const std::string& to, bool replace) { return win32::Rename(copy, to, replace); }
Answer Remove(const WorkingCopy& copy) { return win32::Remove(copy); }
void LetGo(WorkingCopy& copy) { win32::LetGo(copy); }
void Pause(unsigned ms) { win32::Pause(ms); }
// clang-format on
