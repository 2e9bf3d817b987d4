// Links in the place of platform/files.cpp: each call passes through the seam.
#include "seam.h"

std::function<bool(Access& access, Answer& answer)> seamHook;
bool seamPauses = true;

// Passes `call` on, unless the hook answers in its place.
template <typename Call>
static Answer Through(Access access, Call call, FileStat* stat = nullptr) {
  Answer answer = kDone;
  if (seamHook && seamHook(access, answer)) return answer;
  if ((answer = call()) == kDone && stat) stat->attributes |= access.addsAttributes;
  return answer;
}

// clang-format off
Answer Stat(const std::string& path, FileStat& stat) { return Through({"Stat", {path}}, [&] { return win32::Stat(path, stat); }, &stat); }
Answer FinalPathOf(const std::string& path, std::string& final) { return Through({"FinalPathOf", {path}}, [&] { return win32::FinalPathOf(path, final); }); }
Answer NameCountOf(const std::string& path, unsigned& names) { return Through({"NameCountOf", {path}}, [&] { return win32::NameCountOf(path, names); }); }
Answer ReadIniText(const std::string& section, const std::string& key, const std::string& fallback, const std::string& path, std::string& value) { return Through({"ReadIniText", {path}, section}, [&] { return win32::ReadIniText(section, key, fallback, path, value); }); }
Answer ReadIniNumber(const std::string& section, const std::string& key, int fallback, const std::string& path, unsigned& value) { return Through({"ReadIniNumber", {path}, section}, [&] { return win32::ReadIniNumber(section, key, fallback, path, value); }); }
Answer WriteIniText(const std::string& section, const std::string& key, const std::string& value, const std::string& path) { return Through({"WriteIniText", {path}}, [&] { return win32::WriteIniText(section, key, value, path); }); }
Answer CopyNew(const std::string& from, const std::string& to) { return Through({"CopyNew", {from, to}}, [&] { return win32::CopyNew(from, to); }); }
Answer MakeNew(const std::string& path) { return Through({"MakeNew", {path}}, [&] { return win32::MakeNew(path); }); }
Answer SetAttributes(const std::string& path, unsigned long attributes) { return Through({"SetAttributes", {path}}, [&] { return win32::SetAttributes(path, attributes); }); }
Answer ReadWhole(const std::string& path, std::string& bytes, unsigned long long most) { return Through({"ReadWhole", {path}}, [&] { return win32::ReadWhole(path, bytes, most); }); }
Answer WriteWhole(const std::string& path, const std::string& bytes) { return Through({"WriteWhole", {path}}, [&] { return win32::WriteWhole(path, bytes); }); }
Answer Grow(const std::string& path) { return Through({"Grow", {path}}, [&] { return win32::Grow(path); }); }
Answer Flush(const std::string& path) { return Through({"Flush", {path}}, [&] { return win32::Flush(path); }); }
Answer OpenToWrite(const std::string& path) { return Through({"OpenToWrite", {path}}, [&] { return win32::OpenToWrite(path); }); }
Answer Rename(const std::string& from, const std::string& to, bool replace) { return Through({replace ? "Rename" : "RenameToNew", {from, to}}, [&] { return win32::Rename(from, to, replace); }); }
Answer Remove(const std::string& path) { return Through({"Remove", {path}}, [&] { return win32::Remove(path); }); }
void Pause(unsigned ms) { if (seamPauses) win32::Pause(ms); }
// clang-format on
