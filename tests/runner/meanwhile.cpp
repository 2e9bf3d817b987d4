// The directives that act while the launchers run: another program holding a
// file or the launchers' turn, a virus scanner, a save by the simulator.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <sstream>
#include <thread>

#include "case.h"
#include "launcher.h"

// clang-format off
#include <sddl.h>  // after windows.h, which case.h brings
// clang-format on

// Opens `path` for reading, sharing what `shared` names, once the launcher that
// may hold the file a moment longer lets that open through.
static HANDLE OpenToRead(const std::string& path, DWORD shared) {
  HANDLE file;
  while ((file = CreateFileA(path.c_str(), GENERIC_READ, shared, nullptr, OPEN_EXISTING, 0,
                             nullptr)) == INVALID_HANDLE_VALUE &&
         GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES)
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
    c.onAppearance.push_back([=](const std::string&, int) {
      HANDLE file = OpenToRead(path, shared);
      Sleep(heldMs);
      CloseHandle(file);
    });
    return;
  }
  auto file = std::make_shared<HANDLE>();
  c.beforeRun.push_back([=] {
    *file = CreateFileA(path.c_str(), GENERIC_READ, shared, nullptr, OPEN_EXISTING, 0, nullptr);
  });
  c.afterRun.push_back([=] { CloseHandle(*file); });
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
    c.beforeRun.push_back([=] {
      *turn = CreateMutexA(nullptr, FALSE, kTurnName);
      std::thread([=] { WaitForSingleObject(*turn, INFINITE); }).join();
    });
    c.afterRun.push_back([=] { CloseHandle(*turn); });
    return;
  }
  bool letGo = rest.rfind("held and let go", 0) == 0;
  std::string accessList =
      rest.substr(std::min(rest.size(), letGo ? sizeof "held and let go" : sizeof "held"));
  c.beforeRun.push_back([=, &c] {
    HANDLE taken = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    *holder = std::thread([=, &c] {  // a mutex is given back by the thread that took it
      SECURITY_ATTRIBUTES made = {sizeof made, nullptr, FALSE};
      ConvertStringSecurityDescriptorToSecurityDescriptorA(accessList.c_str(), SDDL_REVISION_1,
                                                           &made.lpSecurityDescriptor, nullptr);
      *turn = CreateMutexExA(accessList.empty() ? nullptr : &made, kTurnName,
                             CREATE_MUTEX_INITIAL_OWNER, SYNCHRONIZE | MUTEX_MODIFY_STATE);
      EXPECT_NE(GetLastError(), ERROR_ALREADY_EXISTS) << "the turn was there already";
      LocalFree(made.lpSecurityDescriptor);
      Tree before = Snapshot(c), reported;
      SetEvent(taken);
      Sleep(kTurnHeldMs);
      Report(c, before, Snapshot(c), c.when + " while the runner held the turn", reported);
      ReleaseMutex(*turn);
      if (letGo) CloseHandle(*turn);
    });
    WaitForSingleObject(taken, INFINITE);
    CloseHandle(taken);
  });
  c.afterRun.push_back([=] {
    holder->join();
    if (!letGo) CloseHandle(*turn);
  });
}

// when PATH appears: while the launchers run, the runner watches for PATH, and
// each time it appears does what the "hold ... for" and "===" lines after this ask for.
void When(CaseFile& c, const std::string& rest) {
  auto done = std::make_shared<std::atomic<bool>>();
  auto watcher = std::make_shared<std::thread>();
  std::string path = Place(c, rest.substr(0, rest.rfind(" appears")));
  auto there = [path] { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; };
  c.beforeRun.push_back([=, &c] {
    *done = false;
    *watcher = std::thread([=, &c] {
      for (int seen = 0; !*done; Sleep(0)) {
        if (!there()) continue;
        for (const auto& act : c.onAppearance) act(path, seen);
        for (++seen; !*done && there();) Sleep(0);
      }
    });
  });
  c.afterRun.push_back([=] { *done = true, watcher->join(); });
}

// === PATH: the lines below are what another program saves into PATH when the
// file appears; for a second "===" block, when it appears the second time. The
// runner holds the file that appeared open while it saves, as a scanner does,
// so that the save comes before the launcher's rename, however busy the machine.
void Save(CaseFile& c, const std::string& rest) {
  auto save = std::make_shared<std::pair<std::string, std::string>>(Place(c, rest), "");
  c.text = &save->second;
  c.onAppearance.push_back([save, nth = c.saves++](const std::string& path, int seen) {
    if (seen != nth) return;
    HANDLE appeared = OpenToRead(path, kScannerSharing);
    WriteText(save->first, save->second);
    CloseHandle(appeared);
  });
}
