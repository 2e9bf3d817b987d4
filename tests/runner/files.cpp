// Files and folders as the runner makes, reads and compares them, in UTF-8.
#include <gtest/gtest.h>

#include <fstream>

#include "case.h"

// Starts a Unix program, as Wine lets a Windows program do, in `folder`. Wine
// gives no handle to wait on: the caller waits for what the program does.
static void StartUnix(const std::string& program, const std::string& arguments,
                      const std::string& folder) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  std::wstring command = Wide(program + " " + arguments);
  if (!CreateProcessW(Wide("/bin/" + program).c_str(), &command[0], nullptr, nullptr, FALSE, 0,
                      nullptr, Wide(folder).c_str(), &startup, &process))
    return;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
}

std::wstring Wide(const std::string& utf8) {
  std::wstring wide(utf8.size(), L'\0');
  wide.resize(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), utf8.size(), &wide[0], wide.size()));
  return wide;
}

std::string Utf8(const std::wstring& wide) { return fs::path(wide).string(); }

// What the Linux side or another process does is looked for this often, up to 5 s.
constexpr int kTries = 100, kTryEveryMs = 50;

// Under Wine, a Windows program can neither make a symbolic link nor remove one
// whose target is gone: the Linux side does both.
std::string NewFolder(const std::string& name) {
  static int asides = 0;
  const fs::path folder = PathOf(name);
  std::error_code failed;
  for (const auto& entry : fs::recursive_directory_iterator(folder, failed))
    SetFileAttributesW(entry.path().c_str(), FILE_ATTRIBUTE_NORMAL);  // read-only files too
  fs::remove_all(folder, failed);
  if (failed) {
    const fs::path aside =
        folder.parent_path() / (folder.filename().string() + ".gone" + std::to_string(++asides));
    // Under Wine, a handle of the last run can outlast its process a moment.
    for (int tries = 0; tries < kTries && (fs::rename(folder, aside, failed), failed); ++tries)
      Sleep(kTryEveryMs);
    if (failed) fs::rename(folder, aside);  // throws, saying why
    StartUnix("rm", "-rf " + aside.filename().string(), folder.parent_path().string());
  }
  fs::create_directories(folder);
  return folder.string();
}

void MakeSymbolicLink(const std::string& name, const std::string& target) {
  const fs::path link = PathOf(name);
  fs::create_directories(link.parent_path());
  StartUnix("ln", "-s \"" + target + "\" \"" + link.filename().string() + "\"",
            link.parent_path().string());
  for (int tries = 0; !fs::exists(link) && tries < kTries; ++tries) Sleep(kTryEveryMs);
  EXPECT_TRUE(fs::exists(link)) << "no symbolic link " << link.string() << " to " << target;
}

void WriteText(const std::string& path, const std::string& text) {
  fs::create_directories(PathOf(path).parent_path());
  std::ofstream(PathOf(path), std::ios::binary) << text;
}

std::string ReadText(const std::string& path) {
  std::ifstream file(PathOf(path), std::ios::binary);
  return {std::istreambuf_iterator<char>(file), {}};
}

Entry EntryAt(const fs::path& path) {
  constexpr DWORD kCompared = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY |
                              FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) attributes = 0;  // a link whose target is gone
  bool folder = attributes & FILE_ATTRIBUTE_DIRECTORY;
  return {folder ? "" : ReadText(path.string()), attributes & kCompared};
}

Tree Below(const std::string& folder, bool deep) {
  Tree tree;
  for (auto entry = fs::recursive_directory_iterator(PathOf(folder)); entry != fs::end(entry);
       ++entry) {
    tree[entry->path().string()] = EntryAt(entry->path());
    if (!deep) entry.disable_recursion_pending();
  }
  return tree;
}

Tree Snapshot(const CaseFile& c) {
  Tree tree = Below(c.work);
  for (const auto& folder : c.rootFolders)  // a file there is seen in the root's own listing
    if (fs::is_directory(PathOf(folder))) tree.merge(Below(folder));
  return tree;
}

std::string LinuxPath(const std::string& path) {
  using Convert = char*(CDECL*)(const wchar_t*);
  auto convert = reinterpret_cast<Convert>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  char* converted = convert ? convert(Wide(path).c_str()) : nullptr;
  std::string spelled = converted ? converted : "";
  HeapFree(GetProcessHeap(), 0, converted);
  return spelled;
}
