// The platform operations bound to the Windows API. Only W functions are called:
// an A function turns a letter outside the ANSI code page into a look-alike or
// "?", and the path then names another file or none.
// clang-format off
#include <windows.h>  // first: the headers below build on it
#include <objbase.h>
#include <sddl.h>
#include <shellapi.h>
// clang-format on

#include <algorithm>
#include <vector>

#include "platform.h"

// UTF-16 texts. A traits type of its own makes the compiler build only the string
// functions used here, where std::wstring would bring all of libstdc++'s prebuilt
// ones into the image (about 40 KB).
struct WideTraits : std::char_traits<wchar_t> {};
using WideText = std::basic_string<wchar_t, WideTraits>;

static WideText Wide(const std::string& text) {
  WideText wide(text.size(), L'\0');  // never more UTF-16 units than UTF-8 bytes
  wide.resize(MultiByteToWideChar(CP_UTF8, 0, text.data(), text.size(), &wide[0], wide.size()));
  return wide;
}

static std::string Narrow(const wchar_t* text, size_t length) {
  std::string narrow(3 * length, '\0');  // at most three UTF-8 bytes a UTF-16 unit
  narrow.resize(
      WideCharToMultiByte(CP_UTF8, 0, text, length, &narrow[0], narrow.size(), nullptr, nullptr));
  return narrow;
}

static std::string Narrow(const WideText& text) { return Narrow(text.data(), text.size()); }

// The library `name` from the system folder, and from nowhere else, nor the
// libraries it loads in turn: not from the launcher's folder, where anyone may
// have left a file of that name. Vista and 7 without update KB2533623 do not know
// LOAD_LIBRARY_SEARCH_SYSTEM32; they are given the full path.
static HMODULE LoadSystemLibrary(const wchar_t* name) {
  HMODULE library = LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (library || GetLastError() != ERROR_INVALID_PARAMETER) return library;
  wchar_t folder[MAX_PATH];
  UINT length = GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  return LoadLibraryW((WideText(folder, length) + L"\\" + name).c_str());
}

// The function `name` of the system library `library`; nullptr when either is
// missing. The library stays loaded until the process ends.
template <typename Function>
static Function SystemFunction(const wchar_t* library, const char* name) {
  HMODULE module = LoadSystemLibrary(library);
  return module ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)))
                : nullptr;
}

void LoadLibrariesFromSystemFolderOnly() {
  using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
  auto setDefaultDirectories =
      reinterpret_cast<SetDefaultDllDirectoriesFunction>(reinterpret_cast<void*>(
          GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
  if (setDefaultDirectories && setDefaultDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) return;
  SetDllDirectoryW(L"");
}

bool GetEnvironmentValue(const std::string& name, std::string& value) {
  wchar_t space[kReadLimit];
  SetLastError(ERROR_SUCCESS);
  DWORD length = GetEnvironmentVariableW(Wide(name).c_str(), space, kReadLimit);
  // Unset, or too long to fit: the space holds nothing defined.
  if (length >= kReadLimit) return false;
  if (length == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) return false;
  value = Narrow(space, length);
  return true;
}

// As PathFileExists tells it: with no "insert a disk" box for an empty drive.
bool PathExists(const std::string& path) {
  UINT errorMode = SetErrorMode(SEM_FAILCRITICALERRORS);
  DWORD attributes = GetFileAttributesW(Wide(path).c_str());
  SetErrorMode(errorMode);
  return attributes != INVALID_FILE_ATTRIBUTES;
}

// The W profile functions keep a file that is not Unicode in the ANSI code page,
// as the A functions do: a rewrite changes no byte that it did not change before.
std::string ReadIniString(const std::string& section, const std::string& key,
                          const std::string& fallback, const std::string& path) {
  if (path.empty()) return fallback;
  wchar_t space[kReadLimit];
  DWORD length =
      GetPrivateProfileStringW(Wide(section).c_str(), Wide(key).c_str(), Wide(fallback).c_str(),
                               space, kReadLimit, Wide(path).c_str());
  return Narrow(space, length);
}

unsigned ReadIniInt(const std::string& section, const std::string& key, int fallback,
                    const std::string& path) {
  if (path.empty()) return fallback;
  return GetPrivateProfileIntW(Wide(section).c_str(), Wide(key).c_str(), fallback,
                               Wide(path).c_str());
}

// Virus scanners, indexers and sync clients open a new or changed file for a
// moment, well under a second, and their open can refuse a write, a rename or a
// removal meanwhile. Such an operation is tried again after 25 ms, 50 ms, and so
// on up to 250 ms: about 1.4 s in all, which outlasts them, while a file that
// another program holds for good costs each operation no more than that.
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
// the room: others may go on reading, writing and deleting it meanwhile. An open
// that another program's open refuses is tried again.
static HANDLE OpenShared(const WideText& path, DWORD access) {
  HANDLE file;
  for (int retries = 0;
       (file = CreateFileW(path.c_str(), access,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) == INVALID_HANDLE_VALUE;)
    if (!MayTryAgain(retries, false)) break;
  return file;
}

bool CanGrow(const std::string& path) {
  const std::string room(64 * 1024, '\0');
  HANDLE file = OpenShared(Wide(path), GENERIC_WRITE);
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
  for (int retries = 0; !WritePrivateProfileStringW(Wide(section).c_str(), Wide(key).c_str(),
                                                    Wide(value).c_str(), Wide(path).c_str());)
    if (!MayTryAgain(retries, false)) return false;
  return true;
}

static WideText FinalPath(const WideText& path) {
  constexpr DWORD kLongestPath = 32768;  // of a "\\?\" path, terminating zero included
  HANDLE file = OpenShared(path, 0);
  if (file == INVALID_HANDLE_VALUE) return {};
  WideText final(kLongestPath, L'\0');
  DWORD length = GetFinalPathNameByHandleW(file, &final[0], kLongestPath, FILE_NAME_NORMALIZED);
  if (length == 0)  // some network file systems give only the name as opened
    length = GetFinalPathNameByHandleW(file, &final[0], kLongestPath, FILE_NAME_OPENED);
  CloseHandle(file);
  if (length == 0 || length >= kLongestPath) return {};
  final.resize(length);
  // The answer names a drive as \\?\C:\... and a share as \\?\UNC\server\share\...
  if (final.compare(0, 8, L"\\\\?\\UNC\\") == 0) return L"\\\\" + final.substr(8);
  if (final.compare(0, 4, L"\\\\?\\") == 0) return final.substr(4);
  return final;
}

std::string FinalPath(const std::string& path) { return Narrow(FinalPath(Wide(path))); }

static unsigned NameCount(const WideText& path) {
  HANDLE file = OpenShared(path, 0);
  if (file == INVALID_HANDLE_VALUE) return 0;
  BY_HANDLE_FILE_INFORMATION information;
  bool told = GetFileInformationByHandle(file, &information);
  CloseHandle(file);
  return told ? information.nNumberOfLinks : 0;
}

unsigned NameCount(const std::string& path) { return NameCount(Wide(path)); }

// Under Wine a symbolic link has no reparse-point attribute and looks like the
// file it names: only that file's path, unlike the link's own, tells it. Paths
// are compared as the file system compares names: in UTF-16, in any letter case.
bool IsPlainFile(const std::string& path) {
  const WideText file = Wide(path);
  DWORD attributes = GetFileAttributesW(file.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
    return false;
  return NameCount(file) == 1 &&
         CompareStringOrdinal(FinalPath(file).c_str(), -1, file.c_str(), -1, TRUE) == CSTR_EQUAL;
}

// Read from the folder entry, without opening the file.
FileStamp StampOf(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data)) return {};
  auto join = [](DWORD high, DWORD low) { return (unsigned long long)high << 32 | low; };
  return {join(data.nFileSizeHigh, data.nFileSizeLow),
          join(data.ftLastWriteTime.dwHighDateTime, data.ftLastWriteTime.dwLowDateTime)};
}

// Windows' CopyFile gives the copy the file's attributes; Wine 10's gives it
// archive alone. They are set here all the same, so that the copy that takes
// the file's place keeps them everywhere, and a read-only file's copy takes no
// change either.
constexpr DWORD kCopiedAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                    FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

bool CopyToNew(const std::string& from, const std::string& to) {
  const WideText file = Wide(from), copy = Wide(to);
  for (int retries = 0; !CopyFileW(file.c_str(), copy.c_str(), TRUE);) {
    if (MayTryAgain(retries, false)) continue;
    // Windows removes a copy that a full disk cut short; Wine leaves it.
    if (GetLastError() != ERROR_FILE_EXISTS && IsPlainFile(to)) RemoveFile(to);
    return false;
  }
  DWORD wanted = GetFileAttributesW(file.c_str()), got = GetFileAttributesW(copy.c_str());
  bool kept =
      wanted != INVALID_FILE_ATTRIBUTES && got != INVALID_FILE_ATTRIBUTES &&
      SetFileAttributesW(copy.c_str(), (got & ~(kCopiedAttributes | FILE_ATTRIBUTE_NORMAL)) |
                                           (wanted & kCopiedAttributes));
  if (!kept) RemoveFile(to);
  return kept;
}

bool ReadWholeFile(const std::string& path, std::string& bytes, unsigned long long most) {
  HANDLE file = OpenShared(Wide(path), GENERIC_READ);
  if (file == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size;
  DWORD read = 0;
  bool whole = GetFileSizeEx(file, &size) && (unsigned long long)size.QuadPart <= most;
  if (whole) bytes.resize(size.QuadPart);
  whole = whole && (bytes.empty() || (ReadFile(file, &bytes[0], bytes.size(), &read, nullptr) &&
                                      read == bytes.size()));
  CloseHandle(file);
  return whole;
}

bool WriteWholeFile(const std::string& path, const std::string& bytes, bool makeNew) {
  const WideText name = Wide(path);
  HANDLE file = makeNew ? CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr)
                        : OpenShared(name, GENERIC_WRITE);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool whole = WriteFile(file, bytes.data(), bytes.size(), &written, nullptr) &&
               written == bytes.size() && SetEndOfFile(file);
  if (!CloseHandle(file)) whole = false;
  if (!whole && makeNew) RemoveFile(path);
  return whole;
}

bool FlushToDisk(const std::string& path) {
  HANDLE file = OpenShared(Wide(path), GENERIC_WRITE);
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
  const WideText file = Wide(path);
  DWORD attributes = GetFileAttributesW(file.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY)) return false;
  HANDLE writable = OpenShared(file, GENERIC_WRITE);
  if (writable == INVALID_HANDLE_VALUE) return false;
  CloseHandle(writable);
  for (int retries = 0; StampOf(path) == stamp;) {
    if (MoveFileExW(Wide(replacement).c_str(), file.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      return true;
    if (!MayTryAgain(retries, true)) return false;
  }
  return false;
}

bool MoveToNew(const std::string& from, const std::string& to) {
  for (int retries = 0; !MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), MOVEFILE_WRITE_THROUGH);)
    if (!MayTryAgain(retries, true)) return false;
  return true;
}

void RemoveFile(const std::string& path) {
  const WideText file = Wide(path);
  SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);  // DeleteFile refuses a read-only file
  for (int retries = 0; !DeleteFileW(file.c_str()) && MayTryAgain(retries, true);) {
  }
}

// Asked for by every waiter, and granted by the turn's access list to everyone:
// a launcher run as administrator and one that is not wait for each other's
// turn. The name is in the session's own namespace, and no other right is given.
constexpr DWORD kWaiterRights = SYNCHRONIZE | MUTEX_MODIFY_STATE;
constexpr wchar_t kWaiterAccessList[] = L"D:(A;;0x00100001;;;WD)";
static_assert(kWaiterRights == 0x00100001, "the access list grants the waiter's rights");
constexpr DWORD kTryTurnEveryMs = 50;

static HANDLE OpenOrMakeTurn(const WideText& name) {
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, nullptr, FALSE};
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(
          kWaiterAccessList, SDDL_REVISION_1, &attributes.lpSecurityDescriptor, nullptr))
    return nullptr;
  HANDLE turn = CreateMutexExW(&attributes, name.c_str(), 0, kWaiterRights);
  DWORD error = GetLastError();
  LocalFree(attributes.lpSecurityDescriptor);
  SetLastError(error);
  return turn;
}

void* TakeTurn(const char* name, unsigned waitMs) {
  const DWORD start = GetTickCount();
  const WideText turnName = Wide(name);
  HANDLE turn = OpenOrMakeTurn(turnName);
  for (; !turn && GetLastError() == ERROR_ACCESS_DENIED && GetTickCount() - start < waitMs;
       turn = OpenOrMakeTurn(turnName))
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

// dwmapi.dll is not among the libraries Windows always takes from its own folder.
bool IsCompositionEnabled() {
  using Query = HRESULT(WINAPI*)(BOOL*);
  auto query = SystemFunction<Query>(L"dwmapi.dll", "DwmIsCompositionEnabled");
  BOOL enabled = FALSE;
  return query && SUCCEEDED(query(&enabled)) && enabled;
}

// StrCmpW compares so; shlwapi.dll itself is not imported, since under Wine it
// brings shcore.dll from the launcher's folder.
bool TextEquals(const wchar_t* a, const wchar_t* b) {
  return CompareStringW(GetThreadLocale(), 0, a, -1, b, -1) == CSTR_EQUAL;
}

// The default value of the key `key` of HKEY_CLASSES_ROOT; empty when there is none.
static WideText ClassValue(const WideText& key) {
  wchar_t value[1024];  // a library's path, expanded, included
  DWORD size = sizeof value;
  if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, value, &size) !=
      ERROR_SUCCESS)
    return {};
  return value;
}

// .vbs names VBSFile, VBSFile\ScriptEngine names VBScript, VBScript\CLSID names
// the engine's class, whose InprocServer32 names its library. Windows removes
// that registration with the engine; a 32-bit process, as this one and the
// cscript.exe it starts, reads the classes' 32-bit view.
bool ScriptEngineRegistered(const std::string& extension) {
  WideText type = ClassValue(Wide(extension));
  WideText engine = type.empty() ? type : ClassValue(type + L"\\ScriptEngine");
  WideText engineClass = engine.empty() ? engine : ClassValue(engine + L"\\CLSID");
  return !engineClass.empty() &&
         !ClassValue(L"CLSID\\" + engineClass + L"\\InprocServer32").empty();
}

// The folder `get` fills in, as GetSystemDirectoryW does.
static WideText Folder(UINT(WINAPI* get)(wchar_t*, UINT)) {
  wchar_t folder[MAX_PATH];
  UINT length = get(folder, MAX_PATH);
  return length < MAX_PATH ? WideText(folder, length) : WideText();
}

// Started directly, not through cmd.exe: a graphical program of our own has no
// console, so Windows would open one for cmd.exe, and cmd.exe would expand %NAME%
// pairs in the folder path, refuse a current folder on a network share, and run
// the AutoRun command of the registry first. Named by its full path: Windows
// would look for a program named without a folder in the launcher's own folder
// and the current folder first, where anyone may have left a file of that name,
// which would run with the launcher's rights.
void RunSystemProgram(const std::string& name, const std::string& commandLine) {
  const WideText system = Folder(GetSystemDirectoryW);
  if (system.empty()) return;
  const WideText program = system + L"\\" + Wide(name);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWMINNOACTIVE;
  WideText line = Wide(commandLine);  // CreateProcessW may write into it
  PROCESS_INFORMATION process;
  if (!CreateProcessW(program.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process))
    return;
  CloseHandle(process.hThread);
  WaitForSingleObject(process.hProcess, INFINITE);
  CloseHandle(process.hProcess);
}

// Where CreateProcess looks for a program named without a folder, in its order:
// the launcher's own folder, the current folder (unless the environment says
// NoDefaultCurrentDirectoryInExePath), the system folder, the 16-bit system
// folder, the Windows folder, then each folder of PATH. Empty when none holds it.
static WideText FindProgram(const WideText& name) {
  std::vector<wchar_t> space(32768);  // the longest path, and the longest variable
  WideText own(space.data(), GetModuleFileNameW(nullptr, space.data(), space.size()));
  std::vector<WideText> folders = {own.substr(0, own.rfind(L'\\'))};
  if (NeedCurrentDirectoryForExePathW(name.c_str()))
    folders.emplace_back(space.data(), GetCurrentDirectoryW(space.size(), space.data()));
  folders.push_back(Folder(GetSystemDirectoryW));
  folders.push_back(Folder(GetWindowsDirectoryW) + L"\\System");
  folders.push_back(Folder(GetWindowsDirectoryW));
  DWORD length = GetEnvironmentVariableW(L"PATH", space.data(), space.size());
  WideText path(space.data(), length < space.size() ? length : 0);
  for (size_t start = 0, end; start < path.size(); start = end + 1) {
    end = std::min(path.find(L';', start), path.size());
    WideText folder = path.substr(start, end - start);
    folder.erase(std::remove(folder.begin(), folder.end(), L'"'), folder.end());
    folders.push_back(folder);
  }
  for (WideText folder : folders) {
    if (folder.empty()) continue;
    if (folder.back() != L'\\') folder += L'\\';
    DWORD attributes = GetFileAttributesW((folder + name).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
    length = GetFullPathNameW((folder + name).c_str(), space.size(), space.data(), nullptr);
    return WideText(space.data(), length < space.size() ? length : 0);
  }
  return {};
}

// ShellExecuteEx, unlike CreateProcess, starts a program that must run with raised
// rights (by its manifest, or by "Run this program as an administrator"), asking
// for them as a double-click does. COM is made ready first, and the start is
// synchronous, as the shell asks of a caller with no message loop. No box of its
// own when the start fails, and no zone check: a program that CreateProcess
// started without a warning starts without one.
void StartProgram(const std::string& name) {
  const WideText program = FindProgram(Wide(name));
  if (program.empty()) return;
  using Start = BOOL(WINAPI*)(SHELLEXECUTEINFOW*);
  using InitializeCom = HRESULT(WINAPI*)(void*, DWORD);
  using UninitializeCom = void(WINAPI*)();
  auto start = SystemFunction<Start>(L"shell32.dll", "ShellExecuteExW");
  auto initializeCom = SystemFunction<InitializeCom>(L"ole32.dll", "CoInitializeEx");
  auto uninitializeCom = SystemFunction<UninitializeCom>(L"ole32.dll", "CoUninitialize");
  if (!start || !initializeCom || !uninitializeCom) return;
  HRESULT com = initializeCom(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  SHELLEXECUTEINFOW run{};
  run.cbSize = sizeof run;
  run.fMask =
      SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOZONECHECKS;
  run.lpFile = program.c_str();
  run.nShow = SW_SHOWNORMAL;
  bool started = start(&run);
  // COM goes before the wait: a thread of its single-threaded apartment that
  // pumps no messages for hours would hold up every program that broadcasts one.
  if (SUCCEEDED(com)) uninitializeCom();
  if (started && run.hProcess) {  // a start handed to another program gives no handle
    WaitForSingleObject(run.hProcess, INFINITE);
    CloseHandle(run.hProcess);
  }
}
