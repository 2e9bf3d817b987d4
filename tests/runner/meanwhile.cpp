// The directives that act while the launchers run: another program holding a
// file or the launchers' turn, a virus scanner, a save by the simulator.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <thread>
#include <vector>

#include "case.h"
#include "launcher.h"

// clang-format off
#include <sddl.h>  // after windows.h, which case.h brings
// clang-format on

// Opens `path` for reading, sharing what `shared` names, once the launcher that
// may hold the file a moment longer lets that open through.
static HANDLE OpenToRead(const std::string& path, DWORD shared) {
  HANDLE file;
  while ((file = CreateFileW(Wide(path).c_str(), GENERIC_READ, shared, nullptr, OPEN_EXISTING, 0,
                             nullptr)) == INVALID_HANDLE_VALUE &&
         GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES)
    Sleep(0);
  return file;
}

// What a virus scanner shares of a file it opens: reading and writing, not deleting.
constexpr DWORD kScannerSharing = FILE_SHARE_READ | FILE_SHARE_WRITE;

// hold PATH [sharing WORD...] [for MS]: keeps the file open for reading, sharing
// nothing, or what the words name (read, write, delete): while the launchers
// run, or, with "for", for MS milliseconds each time the file of "when" appears.
void Hold(CaseFile& c, const std::string& rest) {
  static const std::map<std::string, DWORD> kSharing = {
      {"read", FILE_SHARE_READ}, {"write", FILE_SHARE_WRITE}, {"delete", FILE_SHARE_DELETE}};
  size_t timed = rest.rfind(" for ");
  std::string untimed = rest.substr(0, timed);
  size_t sharing = untimed.find(" sharing ");
  std::string path = Place(c, untimed.substr(0, sharing));
  DWORD shared = 0;
  std::istringstream words(sharing == std::string::npos ? "" : untimed.substr(sharing + 9));
  for (std::string word; words >> word;) shared |= kSharing.at(word);
  if (timed != std::string::npos) {
    DWORD heldMs = std::stoul(rest.substr(timed + 5));
    c.onAppearance.push_back([=](const CaseFile&, const std::string&, int) {
      HANDLE file = OpenToRead(path, shared);
      Sleep(heldMs);
      CloseHandle(file);
    });
    return;
  }
  auto file = std::make_shared<HANDLE>();
  c.beforeRun.push_back([=](const CaseFile&) { *file = OpenToRead(path, shared); });
  c.afterRun.push_back([=](const CaseFile&) { CloseHandle(*file); });
}

// The time the runner holds the turn for "turn held": a launcher that did not
// wait for it would have corrected, registered and started by then.
constexpr DWORD kTurnHeldMs = 2000;

// turn held [ACCESS LIST]: the runner holds the launchers' turn, made with that
// access list (in SDDL) if one is given, while they start; after kTurnHeldMs it
// checks that nothing was written, and gives the turn back, keeping its handle
// until the launchers have exited, as a program that goes on running does.
// turn held and let go [ACCESS LIST]: the same, with the handle closed as the
// turn is given back. turn abandoned: a thread takes the turn and ends without
// giving it back, as a launcher that died would.
void Turn(CaseFile& c, const std::string& rest) {
  auto turn = std::make_shared<HANDLE>();
  auto holder = std::make_shared<std::thread>();
  if (rest == "abandoned") {
    c.beforeRun.push_back([=](const CaseFile&) {
      *turn = CreateMutexA(nullptr, FALSE, kTurnName);
      std::thread([=] { WaitForSingleObject(*turn, INFINITE); }).join();
    });
    c.afterRun.push_back([=](const CaseFile&) { CloseHandle(*turn); });
    return;
  }
  const std::string kLetGo = "held and let go";
  bool letGo = rest.rfind(kLetGo, 0) == 0;
  size_t words = letGo ? kLetGo.size() : std::string("held").size();
  std::string accessList = rest.size() > words ? rest.substr(words + 1) : "";
  c.beforeRun.push_back([=](const CaseFile& c) {
    HANDLE taken = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    // A mutex is given back by the thread that took it. The case outlives the
    // thread, which afterRun joins.
    *holder = std::thread([=, &c] {
      SECURITY_ATTRIBUTES made = {sizeof made, nullptr, FALSE};
      ConvertStringSecurityDescriptorToSecurityDescriptorA(accessList.c_str(), SDDL_REVISION_1,
                                                           &made.lpSecurityDescriptor, nullptr);
      SECURITY_ATTRIBUTES* attributes = accessList.empty() ? nullptr : &made;
      *turn = CreateMutexExA(attributes, kTurnName, CREATE_MUTEX_INITIAL_OWNER,
                             SYNCHRONIZE | MUTEX_MODIFY_STATE);
      EXPECT_NE(GetLastError(), ERROR_ALREADY_EXISTS) << "the turn was there already";
      LocalFree(made.lpSecurityDescriptor);
      Tree before = Snapshot(c);
      SetEvent(taken);
      Sleep(kTurnHeldMs);
      Tree reported;
      Report(c, before, Snapshot(c), c.when + " while the runner held the turn", reported);
      ReleaseMutex(*turn);
      if (letGo) CloseHandle(*turn);
    });
    WaitForSingleObject(taken, INFINITE);
    CloseHandle(taken);
  });
  c.afterRun.push_back([=](const CaseFile&) {
    holder->join();
    if (!letGo) CloseHandle(*turn);
  });
}

// What "when" keeps while the launchers run: the folder it reads the changes of,
// the read going on, and how often the file has appeared.
struct Watch {
  HANDLE folder = INVALID_HANDLE_VALUE;
  OVERLAPPED read = {};
  std::vector<DWORD> changes = std::vector<DWORD>(4096);  // aligned as the records want
  int seen = 0;
};

// How long one look at the changes of "when" waits for one, at most.
constexpr DWORD kLookForChangesMs = 10;

// when PATH appears: while the launchers run, the runner watches for PATH, and
// each time it appears does what the "hold ... for" and "===" lines after this
// ask for. It reads the folder's changes, which Windows keeps from one read to
// the next: a file removed and made anew at once still counts as appearing again.
void When(CaseFile& c, const std::string& rest) {
  std::string path = Place(c, rest.substr(0, rest.rfind(" appears")));
  auto watch = std::make_shared<Watch>();
  auto readChanges = [watch] {
    ResetEvent(watch->read.hEvent);
    ReadDirectoryChangesW(watch->folder, watch->changes.data(),
                          watch->changes.size() * sizeof(DWORD), FALSE,
                          FILE_NOTIFY_CHANGE_FILE_NAME, nullptr, &watch->read, nullptr);
  };
  c.beforeRun.push_back([=](const CaseFile&) {
    std::wstring folder = PathOf(path).parent_path().wstring();
    watch->folder = CreateFileW(
        folder.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
    watch->read.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    watch->seen = 0;
    readChanges();  // from here on, every change is kept
  });
  std::wstring name = PathOf(path).filename().wstring();
  c.whileRunning.push_back([=](const CaseFile& c) {
    if (WaitForSingleObject(watch->read.hEvent, kLookForChangesMs) != WAIT_OBJECT_0) return;
    DWORD got = 0;
    GetOverlappedResult(watch->folder, &watch->read, &got, FALSE);
    auto change = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(watch->changes.data());
    while (got) {
      std::wstring changed(change->FileName, change->FileNameLength / sizeof(wchar_t));
      if (change->Action == FILE_ACTION_ADDED && changed == name) {
        for (const auto& act : c.onAppearance) act(c, path, watch->seen);
        ++watch->seen;
      }
      if (!change->NextEntryOffset) break;
      const char* next = reinterpret_cast<const char*>(change) + change->NextEntryOffset;
      change = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(next);
    }
    readChanges();
  });
  c.afterRun.push_back([=](const CaseFile&) {
    DWORD unread = 0;  // the read going on writes into `changes` until it has ended
    CancelIoEx(watch->folder, &watch->read);
    GetOverlappedResult(watch->folder, &watch->read, &unread, TRUE);
    CloseHandle(watch->read.hEvent);
    CloseHandle(watch->folder);
  });
}

// What a backup client shares of a file it reads: reading and deleting, not writing.
constexpr DWORD kBackupSharing = FILE_SHARE_READ | FILE_SHARE_DELETE;

// === PATH: the lines below are what another program (the simulator) saves into
// PATH when the file of "when" appears; for a second "===" block, when it appears
// the second time. The runner saves while it holds the file that appeared as a
// scanner does, so that the launcher cannot rename it first. Until the first
// save, it holds the file saved into as a backup client does, so that the
// launcher's check that it could write there waits, however late the runner sees
// the file appear. (A later save that comes late lands last, as it would anyway.)
void Save(CaseFile& c, const std::string& rest, const std::string& text) {
  c.saves.push_back({Place(c, rest), text});
  if (c.saves.size() > 1) return;  // the first block's steps make every save
  auto held = std::make_shared<HANDLE>(nullptr);
  auto letGo = [held] {
    if (*held) CloseHandle(*held);
    *held = nullptr;
  };
  c.beforeRun.push_back(
      [=](const CaseFile& c) { *held = OpenToRead(c.saves.front().first, kBackupSharing); });
  c.onAppearance.push_back([=](const CaseFile& c, const std::string& path, int seen) {
    size_t nth = seen;
    if (nth >= c.saves.size()) return;
    HANDLE appeared = OpenToRead(path, kScannerSharing);
    letGo();
    WriteText(c.saves[nth].first, c.saves[nth].second);
    CloseHandle(appeared);
  });
  c.afterRun.push_back([=](const CaseFile&) { letGo(); });
}
