// The operations of platform.h bound to the Windows API: the file operations in
// namespace win32, each opening a file once (or naming one) and answering what
// Windows answered, trying nothing again; the rest by their own names. Only W
// functions are called: an A function turns a letter outside the ANSI code page
// into a look-alike or "?", and the path then names another file or none.
// clang-format off
#include <windows.h>  // first: the headers below build on it
#include <objbase.h>
#include <sddl.h>
#include <shellapi.h>
// clang-format on

#include <vector>

#include "platform.h"

static_assert(kFileNotFound == ERROR_FILE_NOT_FOUND && kPathNotFound == ERROR_PATH_NOT_FOUND &&
                  kAccessDenied == ERROR_ACCESS_DENIED &&
                  kSharingViolation == ERROR_SHARING_VIOLATION &&
                  kLockViolation == ERROR_LOCK_VIOLATION && kFileExists == ERROR_FILE_EXISTS &&
                  kDiskFull == ERROR_DISK_FULL && kFileTooLarge == ERROR_FILE_TOO_LARGE &&
                  kUserMappedFile == ERROR_USER_MAPPED_FILE,
              "the answers are Windows' own");
static_assert(kReadOnly == FILE_ATTRIBUTE_READONLY && kHidden == FILE_ATTRIBUTE_HIDDEN &&
                  kSystem == FILE_ATTRIBUTE_SYSTEM && kFolder == FILE_ATTRIBUTE_DIRECTORY &&
                  kArchive == FILE_ATTRIBUTE_ARCHIVE && kNormal == FILE_ATTRIBUTE_NORMAL &&
                  kReparsePoint == FILE_ATTRIBUTE_REPARSE_POINT,
              "the attributes are Windows' own");

namespace {

// UTF-16 texts. A traits type of its own makes the compiler build only the string
// functions used here, where std::wstring would bring all of libstdc++'s prebuilt
// ones into the image (about 40 KB).
struct WideTraits : std::char_traits<wchar_t> {};
using WideText = std::basic_string<wchar_t, WideTraits>;

WideText Wide(const std::string& text) {
  WideText wide(text.size(), L'\0');  // never more UTF-16 units than UTF-8 bytes
  wide.resize(MultiByteToWideChar(CP_UTF8, 0, text.data(), text.size(), &wide[0], wide.size()));
  return wide;
}

std::string Narrow(const wchar_t* text, size_t length) {
  std::string narrow(3 * length, '\0');  // at most three UTF-8 bytes a UTF-16 unit
  narrow.resize(
      WideCharToMultiByte(CP_UTF8, 0, text, length, &narrow[0], narrow.size(), nullptr, nullptr));
  return narrow;
}

std::string Narrow(const WideText& text) { return Narrow(text.data(), text.size()); }

// What the call that just failed answered.
Answer Failed() { return GetLastError(); }

// The answer of a call that gives a BOOL.
Answer Of(BOOL done) { return done ? kDone : Failed(); }

// Where the launcher opens a file itself, others may go on reading, writing and
// deleting it meanwhile. A folder opens too, where no access is asked for.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// The working copy, open, is not removed or renamed by another program: so the
// copy that an open was compared with is the one it writes to, removes or renames.
constexpr DWORD kShareAllButDeleting = FILE_SHARE_READ | FILE_SHARE_WRITE;

HANDLE Open(const std::string& path, DWORD access, DWORD disposition = OPEN_EXISTING,
            DWORD share = kShareAll) {
  return CreateFileW(Wide(path).c_str(), access, share, nullptr, disposition,
                     access ? FILE_ATTRIBUTE_NORMAL : FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// Closes `file`; `answer`, or the close's where that failed and `answer` is done.
Answer Close(HANDLE file, Answer answer) {
  Answer closed = Of(CloseHandle(file));
  return answer == kDone ? closed : answer;
}

// Has `use` use the file `path` opened with `access`, and answers the open's, its or the close's
// answer.
template <typename Use>
Answer WithFile(const std::string& path, DWORD access, Use use) {
  HANDLE file = Open(path, access);
  if (file == INVALID_HANDLE_VALUE) return Failed();
  return Close(file, use(file));
}

// The volume and the file index, which tell whether two handles hold one file.
struct Identity {
  DWORD volume = 0, high = 0, low = 0;
  bool operator==(const Identity& other) const {
    return volume == other.volume && high == other.high && low == other.low;
  }
};

Answer IdentityOf(HANDLE file, Identity& identity) {
  BY_HANDLE_FILE_INFORMATION information;
  if (!GetFileInformationByHandle(file, &information)) return Failed();
  identity = {information.dwVolumeSerialNumber, information.nFileIndexHigh,
              information.nFileIndexLow};
  return kDone;
}

// Has `use` use the working copy opened by its name with `access`; kNotTheCopy
// where the file there is not the one its kept handle holds.
template <typename Use>
Answer WithCopy(const WorkingCopy& copy, DWORD access, Use use) {
  HANDLE file = Open(copy.path, access, OPEN_EXISTING, kShareAllButDeleting);
  if (file == INVALID_HANDLE_VALUE) return Failed();
  Identity there, kept;
  Answer answer = kDone;
  if (copy.kept && (answer = IdentityOf(file, there)) == kDone &&
      (answer = IdentityOf(copy.kept, kept)) == kDone && !(there == kept))
    answer = kNotTheCopy;
  return Close(file, answer == kDone ? use(file) : answer);
}

unsigned long long Join(DWORD high, DWORD low) { return (unsigned long long)high << 32 | low; }

// Reads the whole file, at most kLargestFile, in one call.
Answer ReadThrough(HANDLE file, std::string& bytes) {
  LARGE_INTEGER size;
  DWORD read = 0;
  if (!GetFileSizeEx(file, &size)) return Failed();
  if ((unsigned long long)size.QuadPart > kLargestFile) return kFileTooLarge;
  bytes.assign(size.QuadPart, '\0');
  if (bytes.empty()) return kDone;
  if (!ReadFile(file, &bytes[0], bytes.size(), &read, nullptr)) return Failed();
  return read == bytes.size() ? kDone : ERROR_HANDLE_EOF;
}

Answer WriteAll(HANDLE file, const std::string& bytes) {
  DWORD written = 0;
  if (!WriteFile(file, bytes.data(), bytes.size(), &written, nullptr)) return Failed();
  return written == bytes.size() ? kDone : ERROR_DISK_FULL;
}

// Marks the file open as `file` to be removed once it is closed.
Answer RemoveOnClose(HANDLE file) {
  FILE_DISPOSITION_INFO remove = {TRUE};
  return Of(SetFileInformationByHandle(file, FileDispositionInfo, &remove, sizeof remove));
}

// Makes the working copy where nothing stands, keeps a handle on it that asks for
// its attributes alone, opened anew from the one that made it (so that it holds
// that very file), and writes `bytes` to it. Where any of that fails, the copy is
// removed as it is closed.
Answer MakeCopy(WorkingCopy& copy, const std::string& bytes) {
  HANDLE file = Open(copy.path, GENERIC_WRITE | DELETE, CREATE_NEW, kShareAllButDeleting);
  if (file == INVALID_HANDLE_VALUE) return Failed();
  HANDLE kept = ReOpenFile(file, FILE_READ_ATTRIBUTES, kShareAll, 0);
  Answer answer = kept == INVALID_HANDLE_VALUE ? Failed() : WriteAll(file, bytes);
  if (answer != kDone) RemoveOnClose(file);
  answer = Close(file, answer);
  if (answer == kDone)
    copy.kept = kept;
  else if (kept != INVALID_HANDLE_VALUE)
    CloseHandle(kept);
  return answer;
}

// The profile functions tell neither an open that another program's open refuses
// (ERROR_SHARING_VIOLATION, the CreateFileW page) nor a read of a range it locked
// (ERROR_LOCK_VIOLATION, the ReadFile page): they give the fallback. An open and a
// read of the whole file of the launcher's own tell both; and as that open lets
// others read, and is held while the profile function reads, no open that shares
// no reading comes between the two (as long as the profile function's own open
// shares reading, which Wine's does and Microsoft does not document). Where there
// is no file, the profile's value is its fallback.
template <typename Read>
Answer ReadIni(const std::string& path, Read read) {
  HANDLE file = Open(path, GENERIC_READ);
  if (file == INVALID_HANDLE_VALUE) {
    Answer answer = Failed();
    if (answer == kFileNotFound || answer == kPathNotFound) read();
    return answer;
  }
  std::string bytes;
  Answer answer = ReadThrough(file, bytes);
  if (answer == kDone) read();
  return Close(file, answer);
}

// The folder `get` fills in, as GetSystemDirectoryW does.
WideText Folder(UINT(WINAPI* get)(wchar_t*, UINT)) {
  wchar_t folder[MAX_PATH];
  UINT length = get(folder, MAX_PATH);
  return length < MAX_PATH ? WideText(folder, length) : WideText();
}

// The library `name` from the system folder, and from nowhere else, nor the
// libraries it loads in turn: not from the launcher's folder, where anyone may
// have left a file of that name. Windows knows LOAD_LIBRARY_SEARCH_SYSTEM32 where
// kernel32 has AddDllDirectory (8 and later, and Vista and 7 with update
// KB2533623), which is how the LoadLibraryExW page says to ask; elsewhere the
// library is named by its full path.
HMODULE LoadSystemLibrary(const wchar_t* name) {
  if (GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "AddDllDirectory"))
    return LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  const WideText system = Folder(GetSystemDirectoryW);
  return system.empty() ? nullptr : LoadLibraryW((system + L"\\" + name).c_str());
}

// The function `name` of the system library `library`; nullptr when either is
// missing. The library stays loaded until the process ends.
template <typename Function>
Function SystemFunction(const wchar_t* library, const char* name) {
  HMODULE module = LoadSystemLibrary(library);
  return module ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)))
                : nullptr;
}

// The default value of the key `key` of HKEY_CLASSES_ROOT; empty when there is none.
WideText ClassValue(const WideText& key) {
  wchar_t value[1024];  // a library's path, expanded, included
  DWORD size = sizeof value;
  if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, value, &size) !=
      ERROR_SUCCESS)
    return {};
  return value;
}

}  // namespace

namespace win32 {

// Read from the folder entry, without opening the file.
Answer Stat(const std::string& path, FileStat& stat) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data)) return Failed();
  stat = {data.dwFileAttributes, Join(data.nFileSizeHigh, data.nFileSizeLow),
          Join(data.ftLastWriteTime.dwHighDateTime, data.ftLastWriteTime.dwLowDateTime)};
  return kDone;
}

// The path of the file `path` opened, as GetFinalPathNameByHandleW gives it with
// `kind`. Windows cannot tell the final path of a file on a volume that the mount
// manager does not know (some RAM disks and mounted images): ERROR_PATH_NOT_FOUND.
static Answer PathOf(const std::string& path, DWORD kind, std::string& final) {
  return WithFile(path, 0, [&](HANDLE file) {
    constexpr DWORD kLongestPath = 32768;  // of a "\\?\" path, terminating zero included
    WideText name(kLongestPath, L'\0');
    DWORD length = GetFinalPathNameByHandleW(file, &name[0], kLongestPath, kind);
    if (length == 0) return Failed();
    if (length >= kLongestPath) return Answer(ERROR_FILENAME_EXCED_RANGE);
    name.resize(length);
    // The answer names a drive as \\?\C:\... and a share as \\?\UNC\server\share\...
    if (name.compare(0, 8, L"\\\\?\\UNC\\") == 0) name = L"\\\\" + name.substr(8);
    if (name.compare(0, 4, L"\\\\?\\") == 0) name = name.substr(4);
    final = Narrow(name);
    return kDone;
  });
}

// Over SMB, where the server answers no normalized name, Windows asks for each
// folder of the path in turn and answers ERROR_ACCESS_DENIED where the user may
// not read one (the GetFinalPathNameByHandleW page); the opened name needs none.
Answer FinalPathOf(const std::string& path, std::string& final) {
  return PathOf(path, FILE_NAME_NORMALIZED, final);
}

Answer OpenedPathOf(const std::string& path, std::string& opened) {
  return PathOf(path, FILE_NAME_OPENED, opened);
}

Answer NameCountOf(const std::string& path, unsigned& names) {
  return WithFile(path, 0, [&names](HANDLE file) {
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(file, &information)) return Failed();
    names = information.nNumberOfLinks;
    return kDone;
  });
}

// The W profile functions keep a file that is not Unicode in the ANSI code page,
// as the A functions do: a rewrite changes no byte that it did not change before.
Answer ReadIniText(const std::string& section, const std::string& key, const std::string& fallback,
                   const std::string& path, std::string& value) {
  return ReadIni(path, [&] {
    wchar_t space[kReadLimit];
    DWORD length =
        GetPrivateProfileStringW(Wide(section).c_str(), Wide(key).c_str(), Wide(fallback).c_str(),
                                 space, kReadLimit, Wide(path).c_str());
    value = Narrow(space, length);
  });
}

Answer ReadIniNumber(const std::string& section, const std::string& key, int fallback,
                     const std::string& path, unsigned& value) {
  return ReadIni(path, [&] {
    value = GetPrivateProfileIntW(Wide(section).c_str(), Wide(key).c_str(), fallback,
                                  Wide(path).c_str());
  });
}

Answer WriteIniText(const std::string& section, const std::string& key, const std::string& value,
                    const std::string& path) {
  return Of(WritePrivateProfileStringW(Wide(section).c_str(), Wide(key).c_str(),
                                       Wide(value).c_str(), Wide(path).c_str()));
}

Answer CopyNew(const std::string& from, WorkingCopy& copy) {
  std::string bytes;
  Answer read =
      WithFile(from, GENERIC_READ, [&bytes](HANDLE file) { return ReadThrough(file, bytes); });
  return read == kDone ? MakeCopy(copy, bytes) : read;
}

Answer MakeNew(WorkingCopy& copy) { return MakeCopy(copy, {}); }

// Zero times leave them as they are (the FILE_BASIC_INFO page).
Answer SetAttributes(const WorkingCopy& copy, unsigned long attributes) {
  return WithCopy(copy, FILE_WRITE_ATTRIBUTES, [attributes](HANDLE file) {
    FILE_BASIC_INFO basic = {};
    basic.FileAttributes = attributes;
    return Of(SetFileInformationByHandle(file, FileBasicInfo, &basic, sizeof basic));
  });
}

Answer ReadWhole(const std::string& path, std::string& bytes) {
  return WithFile(path, GENERIC_READ, [&bytes](HANDLE file) { return ReadThrough(file, bytes); });
}

Answer WriteWhole(const WorkingCopy& copy, const std::string& bytes) {
  return WithCopy(copy, GENERIC_WRITE, [&bytes](HANDLE file) {
    Answer answer = WriteAll(file, bytes);
    return answer == kDone ? Of(SetEndOfFile(file)) : answer;
  });
}

Answer CheckRoom(const WorkingCopy& copy, unsigned long long& length) {
  return WithCopy(copy, GENERIC_WRITE, [&length](HANDLE file) {
    LARGE_INTEGER at;
    if (length == kUnmeasured && !GetFileSizeEx(file, &at)) return Failed();
    if (length == kUnmeasured) length = at.QuadPart;
    at.QuadPart = length;
    if (!SetFilePointerEx(file, at, nullptr, FILE_BEGIN)) return Failed();
    Answer grew = WriteAll(file, std::string(kRoom, '\0'));
    Answer cut = Of(SetFilePointerEx(file, at, nullptr, FILE_BEGIN) && SetEndOfFile(file));
    return grew == kDone ? cut : grew;
  });
}

Answer Flush(const WorkingCopy& copy) {
  return WithCopy(copy, GENERIC_WRITE, [](HANDLE file) { return Of(FlushFileBuffers(file)); });
}

Answer CheckWritable(const std::string& path) {
  return WithFile(path, GENERIC_WRITE, [](HANDLE) { return kDone; });
}

// Through the open that was compared with the copy: the full path is one that
// FILE_RENAME_INFO takes (its page; Vista and later). A rename in one folder is
// no copy and removal, which alone MOVEFILE_WRITE_THROUGH would flush (the
// MoveFileExW page).
Answer Rename(const WorkingCopy& copy, const std::string& to, bool replace) {
  return WithCopy(copy, DELETE, [&to, replace](HANDLE file) {
    const WideText name = Wide(to);
    std::vector<char> space(sizeof(FILE_RENAME_INFO) + name.size() * sizeof(wchar_t));
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(space.data());
    rename->ReplaceIfExists = replace;
    rename->FileNameLength = name.size() * sizeof(wchar_t);
    name.copy(rename->FileName, name.size());
    return Of(SetFileInformationByHandle(file, FileRenameInfo, rename, space.size()));
  });
}

Answer Remove(const WorkingCopy& copy) {
  return WithCopy(copy, DELETE, [](HANDLE file) { return RemoveOnClose(file); });
}

void LetGo(WorkingCopy& copy) {
  if (copy.kept) CloseHandle(copy.kept);
  copy.kept = nullptr;
}

void Pause(unsigned ms) { Sleep(ms); }

}  // namespace win32

// The operations no test replaces: the launcher's own, by these names.

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

bool SamePath(const std::string& a, const std::string& b) {
  return CompareStringOrdinal(Wide(a).c_str(), -1, Wide(b).c_str(), -1, TRUE) == CSTR_EQUAL;
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

// The folders CreateProcess looks in for a program named without a folder, in
// its order: the launcher's own folder, the current folder (unless the
// environment says NoDefaultCurrentDirectoryInExePath), the system folder, the
// 16-bit system folder, the Windows folder, then PATH.
std::vector<std::string> ProgramFolders(const std::string& name) {
  std::vector<wchar_t> space(32768);  // the longest path, and the longest variable
  WideText own(space.data(), GetModuleFileNameW(nullptr, space.data(), space.size()));
  std::vector<std::string> folders = {Narrow(own.substr(0, own.rfind(L'\\')))};
  if (NeedCurrentDirectoryForExePathW(Wide(name).c_str()))
    folders.push_back(Narrow(space.data(), GetCurrentDirectoryW(space.size(), space.data())));
  folders.push_back(Narrow(Folder(GetSystemDirectoryW)));
  folders.push_back(Narrow(Folder(GetWindowsDirectoryW) + L"\\System"));
  folders.push_back(Narrow(Folder(GetWindowsDirectoryW)));
  DWORD length = GetEnvironmentVariableW(L"PATH", space.data(), space.size());
  folders.push_back(Narrow(space.data(), length < space.size() ? length : 0));
  return folders;
}

std::string FullPath(const std::string& path) {
  std::vector<wchar_t> space(32768);
  DWORD length = GetFullPathNameW(Wide(path).c_str(), space.size(), space.data(), nullptr);
  return Narrow(space.data(), length < space.size() ? length : 0);
}

// ShellExecuteEx, unlike CreateProcess, starts a program that must run with raised
// rights (by its manifest, or by "Run this program as an administrator"), asking
// for them as a double-click does. COM is made ready first, and the start is
// synchronous, as the shell asks of a caller with no message loop. No box of its
// own when the start fails, and no zone check: a program that CreateProcess
// started without a warning starts without one.
void StartProgram(const std::string& path) {
  const WideText program = Wide(path);
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
