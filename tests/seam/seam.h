// The file operations as the tests compile the launcher's code (files.h): each
// call is passed on to the Windows binding through a seam, where a test may
// answer in Windows' place.
#pragma once

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "platform.h"

// One call of a file operation, as the seam sees it.
struct Access {
  const char* operation;                    // its name in platform.h
  std::vector<std::string> paths;           // the paths it names
  std::string section = {};                 // an INI read's section
  unsigned long addsAttributes = 0;         // a Stat done: attributes the hook adds to its answer
  std::function<void(Answer&)> after = {};  // what the hook makes of the binding's answer
};

// True where `access` names `path`.
inline bool Mentions(const Access& access, const std::string& path) {
  return std::any_of(access.paths.begin(), access.paths.end(),
                     [&](const std::string& named) { return SamePath(named, path); });
}

// With no hook, the seam passes every call on. A hook sees each call first and
// gives true, with `answer` set, to answer in the binding's place.
inline std::function<bool(Access& access, Answer& answer)> seamHook;
inline bool seamPauses = true;  // false: Pause returns at once
inline int seamRetrySets = 0;   // the sets of retries begun: pauses of the first length

namespace seam {

// Passes `call` on, unless the hook answers in its place.
template <typename Call>
Answer Through(Access access, Call call, FileStat* stat = nullptr) {
  Answer answer = kDone;
  if (seamHook && seamHook(access, answer)) return answer;
  if ((answer = call()) == kDone && stat) stat->attributes |= access.addsAttributes;
  if (access.after) access.after(answer);
  return answer;
}

// clang-format off
inline Answer Stat(const std::string& path, FileStat& stat) { return Through({"Stat", {path}}, [&] { return win32::Stat(path, stat); }, &stat); }
inline Answer FinalPathOf(const std::string& path, std::string& final) { return Through({"FinalPathOf", {path}}, [&] { return win32::FinalPathOf(path, final); }); }
inline Answer OpenedPathOf(const std::string& path, std::string& opened) { return Through({"OpenedPathOf", {path}}, [&] { return win32::OpenedPathOf(path, opened); }); }
inline Answer NameCountOf(const std::string& path, unsigned& names) { return Through({"NameCountOf", {path}}, [&] { return win32::NameCountOf(path, names); }); }
inline Answer ReadIniText(const std::string& section, const std::string& key, const std::string& fallback, const std::string& path, std::string& value) { return Through({"ReadIniText", {path}, section}, [&] { return win32::ReadIniText(section, key, fallback, path, value); }); }
inline Answer ReadIniNumber(const std::string& section, const std::string& key, int fallback, const std::string& path, unsigned& value) { return Through({"ReadIniNumber", {path}, section}, [&] { return win32::ReadIniNumber(section, key, fallback, path, value); }); }
inline Answer WriteIniText(const std::string& section, const std::string& key, const std::string& value, const std::string& path) { return Through({"WriteIniText", {path}}, [&] { return win32::WriteIniText(section, key, value, path); }); }
inline Answer CopyNew(const std::string& from, WorkingCopy& copy) { return Through({"CopyNew", {from, copy.path}}, [&] { return win32::CopyNew(from, copy); }); }
inline Answer MakeNew(WorkingCopy& copy) { return Through({"MakeNew", {copy.path}}, [&] { return win32::MakeNew(copy); }); }
inline Answer SetAttributes(const WorkingCopy& copy, unsigned long attributes) { return Through({"SetAttributes", {copy.path}}, [&] { return win32::SetAttributes(copy, attributes); }); }
inline Answer ReadWhole(const std::string& path, std::string& bytes) { return Through({"ReadWhole", {path}}, [&] { return win32::ReadWhole(path, bytes); }); }
inline Answer WriteWhole(const WorkingCopy& copy, const std::string& bytes) { return Through({"WriteWhole", {copy.path}}, [&] { return win32::WriteWhole(copy, bytes); }); }
inline Answer CheckRoom(const WorkingCopy& copy, unsigned long long& length) { return Through({"CheckRoom", {copy.path}}, [&] { return win32::CheckRoom(copy, length); }); }
inline Answer Flush(const WorkingCopy& copy) { return Through({"Flush", {copy.path}}, [&] { return win32::Flush(copy); }); }
inline Answer CheckWritable(const std::string& path) { return Through({"CheckWritable", {path}}, [&] { return win32::CheckWritable(path); }); }
inline Answer Rename(const WorkingCopy& copy, const std::string& to, bool replace) { return Through({replace ? "Rename" : "RenameToNew", {copy.path, to}}, [&] { return win32::Rename(copy, to, replace); }); }
inline Answer Remove(const WorkingCopy& copy) { return Through({"Remove", {copy.path}}, [&] { return win32::Remove(copy); }); }
inline void LetGo(WorkingCopy& copy) { win32::LetGo(copy); }
void Pause(unsigned ms);  // seam.cpp
// clang-format on

}  // namespace seam
