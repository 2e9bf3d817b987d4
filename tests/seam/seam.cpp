// Links in the place of platform/files.cpp: each call passes through the seam.
#include "seam.h"

#include "edit.h"

std::function<bool(Access& access, Answer& answer)> seamHook;
bool seamPauses = true;
int seamRetrySets = 0;

// Passes `call` on, unless the hook answers in its place.
template <typename Call>
static Answer Through(Access access, Call call, FileStat* stat = nullptr) {
  Answer answer = kDone;
  if (seamHook && seamHook(access, answer)) return answer;
  if ((answer = call()) == kDone && stat) stat->attributes |= access.addsAttributes;
  if (access.after) access.after(answer);
  return answer;
}

// clang-format off
Answer Stat(const std::string& path, FileStat& stat) { return Through({"Stat", {path}}, [&] { return win32::Stat(path, stat); }, &stat); }
Answer FinalPathOf(const std::string& path, std::string& final) { return Through({"FinalPathOf", {path}}, [&] { return win32::FinalPathOf(path, final); }); }
Answer OpenedPathOf(const std::string& path, std::string& opened) { return Through({"OpenedPathOf", {path}}, [&] { return win32::OpenedPathOf(path, opened); }); }
Answer NameCountOf(const std::string& path, unsigned& names) { return Through({"NameCountOf", {path}}, [&] { return win32::NameCountOf(path, names); }); }
Answer ReadIniText(const std::string& section, const std::string& key, const std::string& fallback, const std::string& path, std::string& value) { return Through({"ReadIniText", {path}, section}, [&] { return win32::ReadIniText(section, key, fallback, path, value); }); }
Answer ReadIniNumber(const std::string& section, const std::string& key, int fallback, const std::string& path, unsigned& value) { return Through({"ReadIniNumber", {path}, section}, [&] { return win32::ReadIniNumber(section, key, fallback, path, value); }); }
Answer WriteIniText(const std::string& section, const std::string& key, const std::string& value, const std::string& path) { return Through({"WriteIniText", {path}}, [&] { return win32::WriteIniText(section, key, value, path); }); }
Answer CopyNew(const std::string& from, WorkingCopy& copy) { return Through({"CopyNew", {from, copy.path}}, [&] { return win32::CopyNew(from, copy); }); }
Answer MakeNew(WorkingCopy& copy) { return Through({"MakeNew", {copy.path}}, [&] { return win32::MakeNew(copy); }); }
Answer SetAttributes(const WorkingCopy& copy, unsigned long attributes) { return Through({"SetAttributes", {copy.path}}, [&] { return win32::SetAttributes(copy, attributes); }); }
Answer ReadWhole(const std::string& path, std::string& bytes) { return Through({"ReadWhole", {path}}, [&] { return win32::ReadWhole(path, bytes); }); }
Answer WriteWhole(const WorkingCopy& copy, const std::string& bytes) { return Through({"WriteWhole", {copy.path}}, [&] { return win32::WriteWhole(copy, bytes); }); }
Answer CheckRoom(const WorkingCopy& copy, unsigned long long& length) { return Through({"CheckRoom", {copy.path}}, [&] { return win32::CheckRoom(copy, length); }); }
Answer Flush(const WorkingCopy& copy) { return Through({"Flush", {copy.path}}, [&] { return win32::Flush(copy); }); }
Answer CheckWritable(const std::string& path) { return Through({"CheckWritable", {path}}, [&] { return win32::CheckWritable(path); }); }
Answer Rename(const WorkingCopy& copy, const std::string& to, bool replace) { return Through({replace ? "Rename" : "RenameToNew", {copy.path, to}}, [&] { return win32::Rename(copy, to, replace); }); }
Answer Remove(const WorkingCopy& copy) { return Through({"Remove", {copy.path}}, [&] { return win32::Remove(copy); }); }
void LetGo(WorkingCopy& copy) { win32::LetGo(copy); }
void Pause(unsigned ms) { seamRetrySets += ms == kFirstPauseMs; if (seamPauses) win32::Pause(ms); }
// clang-format on
