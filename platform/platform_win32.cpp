// The platform operations bound to the Windows API.
// clang-format off
#include <windows.h>  // first: the headers below build on it
#include <sddl.h>
#include <shlwapi.h>
// clang-format on

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

// Virus scanners, indexers and sync clients open a new or changed file for a
// moment, well under a second, and their open can refuse a write, a rename or a
// removal meanwhile. Such an operation is tried again after 25 ms, 50 ms, and so
// on up to 250 ms: about 1.4 s in all, which outlasts them, while a file that
// another program holds for good costs a run no more than that.
constexpr DWORD kFirstPauseMs = 25;
constexpr int kMostRetries = 10;

// After a failed attempt: true, once it has paused, when another program's open
// refused it and tries remain. Windows refuses a rename or a removal for such an
// open with "access denied" too; for a write, that answer is final.
static bool MayTryAgain(int& retries, bool renameOrRemoval) {
  DWORD error = GetLastError();
  bool refused = error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
                 (renameOrRemoval && error == ERROR_ACCESS_DENIED);
  if (!refused || retries == kMostRetries) return false;
  Sleep(kFirstPauseMs * ++retries);
  return true;
}

// The launcher opens a file itself only to look at it, to flush it or to check
// the room: others may go on reading, writing and deleting it meanwhile.
static HANDLE OpenShared(const std::string& path, DWORD access) {
  return CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// True when the file can take another 64 KB (more than a cluster) at its end;
// the file is then cut back to its length. Wine's profile writer reports
// success even when a full disk cut its rewrite short, as it would for a quota
// or a size limit. A file cut short for want of room cannot grow; one that can
// was written whole.
static bool CanGrow(const std::string& path) {
  const std::string room(64 * 1024, '\0');
  HANDLE file = OpenShared(path, GENERIC_WRITE);
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
  for (int retries = 0;
       !WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), path.c_str());)
    if (!MayTryAgain(retries, false)) return false;
  return CanGrow(path);
}

std::string FinalPath(const std::string& path) {
  constexpr DWORD kLongestPath = 32768;  // of a "\\?\" path, terminating zero included
  HANDLE file = OpenShared(path, 0);
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
  HANDLE file = OpenShared(path, 0);
  if (file == INVALID_HANDLE_VALUE) return 0;
  BY_HANDLE_FILE_INFORMATION information;
  bool told = GetFileInformationByHandle(file, &information);
  CloseHandle(file);
  return told ? information.nNumberOfLinks : 0;
}

// Under Wine a symbolic link has no reparse-point attribute and looks like the
// file it names: only that file's path, unlike the link's own, tells it.
bool IsPlainFile(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
    return false;
  return NameCount(path) == 1 && lstrcmpiA(FinalPath(path).c_str(), path.c_str()) == 0;
}

// Read from the folder entry, without opening the file.
FileStamp StampOf(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return {};
  auto join = [](DWORD high, DWORD low) { return (unsigned long long)high << 32 | low; };
  return {join(data.nFileSizeHigh, data.nFileSizeLow),
          join(data.ftLastWriteTime.dwHighDateTime, data.ftLastWriteTime.dwLowDateTime)};
}

bool CopyToNew(const std::string& from, const std::string& to) {
  if (CopyFileA(from.c_str(), to.c_str(), TRUE)) return true;
  // Windows removes a copy that a full disk cut short; Wine leaves it.
  if (GetLastError() != ERROR_FILE_EXISTS && IsPlainFile(to)) RemoveFile(to);
  return false;
}

bool FlushToDisk(const std::string& path) {
  HANDLE file = OpenShared(path, GENERIC_WRITE);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool flushed = FlushFileBuffers(file);
  return CloseHandle(file) && flushed;
}

// One rename on one volume, so that `path` always names either the old file or
// the whole new one. ReplaceFile would keep more of the old file's metadata, but
// it runs in several steps and can fail between them with the old file's name
// gone; the copy already carries the old file's attributes. The rename would
// also replace a file that refuses writing: a read-only one (Wine does, Windows
// does not), one whose access list denies writing but not deleting, or one that
// a program holds open for reading, sharing deleting but not writing. The stamp
// is compared before every attempt: a save by the simulator is never replaced.
bool ReplaceFileWith(const std::string& path, const std::string& replacement,
                     const FileStamp& stamp) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY)) return false;
  HANDLE writable;  // a backup or sync client may read it a moment without sharing writing
  for (int retries = 0; (writable = OpenShared(path, GENERIC_WRITE)) == INVALID_HANDLE_VALUE;)
    if (!MayTryAgain(retries, false)) return false;
  CloseHandle(writable);
  for (int retries = 0; StampOf(path) == stamp;) {
    if (MoveFileExA(replacement.c_str(), path.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      return true;
    if (!MayTryAgain(retries, true)) return false;
  }
  return false;
}

void RemoveFile(const std::string& path) {
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);  // DeleteFile refuses a read-only file
  for (int retries = 0; !DeleteFileA(path.c_str()) && MayTryAgain(retries, true);) {
  }
}

// Asked for by every waiter, and granted by the turn's access list to everyone:
// a launcher run as administrator and one that is not wait for each other's
// turn. The name is in the session's own namespace, and no other right is given.
constexpr DWORD kWaiterRights = SYNCHRONIZE | MUTEX_MODIFY_STATE;
constexpr char kWaiterAccessList[] = "D:(A;;0x00100001;;;WD)";
static_assert(kWaiterRights == 0x00100001, "the access list grants the waiter's rights");
constexpr DWORD kTryTurnEveryMs = 50;

static HANDLE OpenOrMakeTurn(const char* name) {
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, nullptr, FALSE};
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(
          kWaiterAccessList, SDDL_REVISION_1, &attributes.lpSecurityDescriptor, nullptr))
    return nullptr;
  HANDLE turn = CreateMutexExA(&attributes, name, 0, kWaiterRights);
  DWORD error = GetLastError();
  LocalFree(attributes.lpSecurityDescriptor);
  SetLastError(error);
  return turn;
}

void* TakeTurn(const char* name, unsigned waitMs) {
  const DWORD start = GetTickCount();
  HANDLE turn = OpenOrMakeTurn(name);
  for (; !turn && GetLastError() == ERROR_ACCESS_DENIED && GetTickCount() - start < waitMs;
       turn = OpenOrMakeTurn(name))
    Sleep(kTryTurnEveryMs);
  if (!turn) return nullptr;
  DWORD spent = GetTickCount() - start;
  DWORD waited = WaitForSingleObject(turn, spent < waitMs ? waitMs - spent : 0);
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

// Started directly, not through cmd.exe: a graphical program of our own has no
// console, so Windows would open one for cmd.exe that stays as long as the simulator
// runs, and cmd.exe would expand %NAME% pairs in the folder path, refuse a current
// folder on a network share, and run the AutoRun command of the registry first.
void RunCommand(const std::string& command, ConsoleWindow console) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  if (console == ConsoleWindow::kMinimizedWithoutFocus) {
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWMINNOACTIVE;
  }
  std::string commandLine = command;  // CreateProcessA may write into it
  PROCESS_INFORMATION process;
  if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process))
    return;
  CloseHandle(process.hThread);
  WaitForSingleObject(process.hProcess, INFINITE);
  CloseHandle(process.hProcess);
}
