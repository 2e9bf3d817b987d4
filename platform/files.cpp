// The launcher's file operations, each passed straight on to the binding. A test
// links its own file in this one's place, which may answer instead.
#include "platform.h"

// clang-format off
Answer Stat(const std::string& path, FileStat& stat) { return win32::Stat(path, stat); }
Answer FinalPathOf(const std::string& path, std::string& final) { return win32::FinalPathOf(path, final); }
Answer NameCountOf(const std::string& path, unsigned& names) { return win32::NameCountOf(path, names); }
Answer ReadIniText(const std::string& section, const std::string& key, const std::string& fallback, const std::string& path, std::string& value) { return win32::ReadIniText(section, key, fallback, path, value); }
Answer ReadIniNumber(const std::string& section, const std::string& key, int fallback, const std::string& path, unsigned& value) { return win32::ReadIniNumber(section, key, fallback, path, value); }
Answer WriteIniText(const std::string& section, const std::string& key, const std::string& value, const std::string& path) { return win32::WriteIniText(section, key, value, path); }
Answer CopyNew(const std::string& from, const std::string& to) { return win32::CopyNew(from, to); }
Answer MakeNew(const std::string& path) { return win32::MakeNew(path); }
Answer SetAttributes(const std::string& path, unsigned long attributes) { return win32::SetAttributes(path, attributes); }
Answer ReadWhole(const std::string& path, std::string& bytes, unsigned long long most) { return win32::ReadWhole(path, bytes, most); }
Answer WriteWhole(const std::string& path, const std::string& bytes) { return win32::WriteWhole(path, bytes); }
Answer Grow(const std::string& path) { return win32::Grow(path); }
Answer Flush(const std::string& path) { return win32::Flush(path); }
Answer OpenToWrite(const std::string& path) { return win32::OpenToWrite(path); }
Answer Rename(const std::string& from, const std::string& to, bool replace) { return win32::Rename(from, to, replace); }
Answer Remove(const std::string& path) { return win32::Remove(path); }
void Pause(unsigned ms) { win32::Pause(ms); }
// clang-format on
