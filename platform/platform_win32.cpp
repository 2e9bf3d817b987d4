// The platform operations bound to the Windows API and the C runtime.
#include <shlwapi.h>
#include <windows.h>

#include <cstdlib>

#include "platform.h"

bool GetEnvironmentValue(const std::string& name, std::string& value) {
  char space[kReadLimit];
  SetLastError(ERROR_SUCCESS);
  DWORD length = GetEnvironmentVariableA(name.c_str(), space, kReadLimit);
  // Unset, or too long to fit: the space holds nothing defined.
  if (length >= kReadLimit) return false;
  if (length == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) return false;
  value.assign(space, length);
  return true;
}

bool PathExists(const std::string& path) { return PathFileExistsA(path.c_str()) == 1; }

std::string ReadIniString(const std::string& section, const std::string& key,
                          const std::string& fallback, const std::string& path) {
  if (path.empty()) return fallback;
  char space[kReadLimit];
  DWORD length = GetPrivateProfileStringA(section.c_str(), key.c_str(), fallback.c_str(), space,
                                          kReadLimit, path.c_str());
  return std::string(space, length);
}

unsigned ReadIniInt(const std::string& section, const std::string& key, int fallback,
                    const std::string& path) {
  if (path.empty()) return fallback;
  return GetPrivateProfileIntA(section.c_str(), key.c_str(), fallback, path.c_str());
}

// True when the file can take another 64 KB (more than a cluster) at its end;
// the file is then cut back to its length. Wine's profile writer reports
// success even when a full disk cut its rewrite short, as it would for a quota
// or a size limit. A file cut short for want of room cannot grow; one that can
// was written whole.
static bool CanGrow(const std::string& path) {
  const std::string room(64 * 1024, '\0');
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER length, end = {};
  DWORD written = 0;
  bool grew = GetFileSizeEx(file, &length) && SetFilePointerEx(file, end, nullptr, FILE_END) &&
              WriteFile(file, room.data(), room.size(), &written, nullptr) &&
              written == room.size();
  grew = grew && SetFilePointerEx(file, length, nullptr, FILE_BEGIN) && SetEndOfFile(file);
  return CloseHandle(file) && grew;
}

bool WriteIniString(const std::string& section, const std::string& key, const std::string& value,
                    const std::string& path) {
  if (path.empty()) return false;
  return WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), path.c_str()) &&
         CanGrow(path);
}

// Opened to tell what it is, not to read: a program that holds it without sharing
// does not stand in the way.
static HANDLE OpenToInspect(const std::string& path) {
  return CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

std::string FinalPath(const std::string& path) {
  constexpr DWORD kLongestPath = 32768;  // of a "\\?\" path, terminating zero included
  HANDLE file = OpenToInspect(path);
  if (file == INVALID_HANDLE_VALUE) return {};
  std::string final(kLongestPath, '\0');
  DWORD length = GetFinalPathNameByHandleA(file, &final[0], kLongestPath, FILE_NAME_NORMALIZED);
  if (length == 0)  // some network file systems give only the name as opened
    length = GetFinalPathNameByHandleA(file, &final[0], kLongestPath, FILE_NAME_OPENED);
  CloseHandle(file);
  if (length == 0 || length >= kLongestPath) return {};
  final.resize(length);
  // The answer names a drive as \\?\C:\... and a share as \\?\UNC\server\share\...
  if (final.compare(0, 8, "\\\\?\\UNC\\") == 0) return "\\\\" + final.substr(8);
  if (final.compare(0, 4, "\\\\?\\") == 0) return final.substr(4);
  return final;
}

unsigned NameCount(const std::string& path) {
  HANDLE file = OpenToInspect(path);
  if (file == INVALID_HANDLE_VALUE) return 0;
  BY_HANDLE_FILE_INFORMATION information;
  bool told = GetFileInformationByHandle(file, &information);
  CloseHandle(file);
  return told ? information.nNumberOfLinks : 0;
}

bool CopyToNew(const std::string& from, const std::string& to) {
  return CopyFileA(from.c_str(), to.c_str(), TRUE);
}

bool FlushToDisk(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool flushed = FlushFileBuffers(file);
  return CloseHandle(file) && flushed;
}

// One rename on one volume, so that `path` always names either the old file or
// the whole new one. ReplaceFile would keep more of the old file's metadata, but
// it runs in several steps and can fail between them with the old file's name
// gone; the copy already carries the old file's attributes. Windows refuses to
// rename over a read-only file, and so does this binding: Wine would not.
bool ReplaceFileWith(const std::string& path, const std::string& replacement) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY)) return false;
  return MoveFileExA(replacement.c_str(), path.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

void RemoveFile(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return;
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);  // DeleteFile refuses a read-only file
  DeleteFileA(path.c_str());
}

void* TakeTurn(const char* name, unsigned waitMs) {
  HANDLE turn = CreateMutexA(nullptr, FALSE, name);
  if (!turn) return nullptr;
  DWORD waited = WaitForSingleObject(turn, waitMs);
  if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) return turn;
  CloseHandle(turn);
  return nullptr;
}

void GiveBackTurn(void* turn) {
  ReleaseMutex(turn);
  CloseHandle(turn);
}

// The library `name` from the system folder, and from nowhere else: not from the
// launcher's folder, where anyone may have left a file of that name (dwmapi.dll
// is not among the libraries Windows always takes from its own folder). Vista and
// 7 without update KB2533623 do not know LOAD_LIBRARY_SEARCH_SYSTEM32; they are
// given the full path.
static HMODULE LoadSystemLibrary(const char* name) {
  HMODULE library = LoadLibraryExA(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (library || GetLastError() != ERROR_INVALID_PARAMETER) return library;
  char folder[MAX_PATH];
  UINT length = GetSystemDirectoryA(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  return LoadLibraryA((std::string(folder, length) + "\\" + name).c_str());
}

bool IsCompositionEnabled() {
  using Query = HRESULT(WINAPI*)(BOOL*);
  HMODULE dwmapi = LoadSystemLibrary("dwmapi.dll");
  if (!dwmapi) return false;
  auto query = reinterpret_cast<Query>(
      reinterpret_cast<void*>(GetProcAddress(dwmapi, "DwmIsCompositionEnabled")));
  BOOL enabled = FALSE;
  bool on = query && SUCCEEDED(query(&enabled)) && enabled;
  FreeLibrary(dwmapi);
  return on;
}

bool TextEquals(const wchar_t* a, const wchar_t* b) { return StrCmpW(a, b) == 0; }

void RunCommand(const std::string& command) { std::system(command.c_str()); }
