// The directives that act around each run: another program holding a file or
// the launchers' turn, a virus scanner, a save by the simulator, a registration
// or a program taken away. Each is one unit: it starts its work before the launchers start,
// and hands back what ends it, which closes what it opened.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <sstream>
#include <thread>
#include <vector>

#include "case.h"
#include "launcher.h"
#include "platform.h"

// clang-format off
#include <sddl.h>  // after windows.h, which case.h brings
// clang-format on

// Opens `path` for reading, sharing what `shared` names, once the launcher that
// may hold the file a moment longer lets that open through; INVALID_HANDLE_VALUE
// where nothing is there, which fails the case at `line` where the file `must` be.
// Refused for kOpenAtMostMs (or a shorter "wait at most"), it fails the case at `line`.
static HANDLE OpenToRead(const CaseFile& c, int line, const std::string& path, DWORD shared,
                         bool must) {
  const DWORD atMostMs = std::min(kOpenAtMostMs, c.launchersAtMostMs);
  for (DWORD start = GetTickCount(); GetTickCount() - start < atMostMs; Sleep(0)) {
    HANDLE file =
        CreateFileW(Wide(path).c_str(), GENERIC_READ, shared, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) return file;
    if (!PathExists(path)) {
      if (must) FAIL_AT_LINE(c, line) << NameOf(c, path) << " is not there to hold" << c.when;
      return file;
    }
  }
  FAIL_AT_LINE(c, line) << NameOf(c, path) << " was refused for " << atMostMs << " ms" << c.when;
  return INVALID_HANDLE_VALUE;
}

// What a virus scanner shares of a file it opens: reading and writing, not deleting.
constexpr DWORD kScannerSharing = FILE_SHARE_READ | FILE_SHARE_WRITE;

// What a backup client shares of a file it reads: reading and deleting, not writing.
constexpr DWORD kBackupSharing = FILE_SHARE_READ | FILE_SHARE_DELETE;

// hold PATH [sharing WORD...] [for MS]: keeps the file open for reading, sharing
// nothing, or what the words name (read, write, delete): while the launchers
// run, or, with "for", for MS milliseconds each time the file of "when" appears.
// A timed hold acts only where the file of "when" is still there once it holds.
bool Hold(CaseFile& c, const std::string& rest) {
  static const std::map<std::string, DWORD> kSharing = {
      {"read", FILE_SHARE_READ}, {"write", FILE_SHARE_WRITE}, {"delete", FILE_SHARE_DELETE}};
  size_t timed = rest.rfind(" for ");
  unsigned long long heldMs = 0;
  if (timed != std::string::npos && !IsNumber(rest.substr(timed + 5), heldMs)) return false;
  std::string untimed = rest.substr(0, timed);
  size_t sharing = untimed.find(" sharing ");
  if (untimed.empty() || sharing == 0) return false;
  std::string path = Place(c, untimed.substr(0, sharing));
  DWORD shared = 0;
  std::istringstream words(sharing == std::string::npos ? "" : untimed.substr(sharing + 9));
  for (std::string word; words >> word; shared |= kSharing.at(word))
    if (!kSharing.count(word)) return false;
  const int line = c.line;
  if (timed == std::string::npos) {
    c.around.push_back([=](Run& run) {
      HANDLE file = OpenToRead(run.c, line, path, shared, true);
      return [file] { CloseHandle(file); };
    });
    return true;
  }
  c.onAppearanceAt.push_back(line);
  c.mustAct[line] = NameOf(c, path) + " was never held while the file of \"when\" was there";
  c.around.push_back([=](Run& run) {
    run.onAppearance.push_back([=, &run](const std::string& appeared, int) {
      HANDLE file = OpenToRead(run.c, line, path, shared, false);
      if (file != INVALID_HANDLE_VALUE && PathExists(appeared)) run.Acted(line);
      Sleep(heldMs);
      CloseHandle(file);
    });
    return Stop();
  });
  return true;
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
// giving it back, as a launcher that died would. A mutex is given back by the
// thread that took it: the holder's.
bool Turn(CaseFile& c, const std::string& rest) {
  if (rest == "abandoned") {
    c.around.push_back([](Run&) {
      HANDLE turn = CreateMutexA(nullptr, FALSE, kTurnName);
      std::thread([turn] { WaitForSingleObject(turn, INFINITE); }).join();
      return [turn] { CloseHandle(turn); };
    });
    return true;
  }
  const std::string kLetGo = "held and let go";
  const bool letGo = rest.rfind(kLetGo, 0) == 0;
  const size_t words = letGo ? kLetGo.size() : std::string("held").size();
  std::string accessList = rest.size() > words ? rest.substr(words + 1) : "";
  PSECURITY_DESCRIPTOR checked = nullptr;
  if ((!letGo && rest.rfind("held", 0) != 0) || (rest.size() > words && rest[words] != ' ') ||
      (!accessList.empty() && !ConvertStringSecurityDescriptorToSecurityDescriptorA(
                                  accessList.c_str(), SDDL_REVISION_1, &checked, nullptr)))
    return false;
  LocalFree(checked);
  c.around.push_back([=](Run& run) {
    HANDLE taken = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    auto turn = std::make_shared<HANDLE>();
    auto holder = std::make_shared<std::thread>([=, &run] {
      SECURITY_ATTRIBUTES made = {sizeof made, nullptr, FALSE};
      ConvertStringSecurityDescriptorToSecurityDescriptorA(accessList.c_str(), SDDL_REVISION_1,
                                                           &made.lpSecurityDescriptor, nullptr);
      *turn = CreateMutexExA(accessList.empty() ? nullptr : &made, kTurnName,
                             CREATE_MUTEX_INITIAL_OWNER, SYNCHRONIZE | MUTEX_MODIFY_STATE);
      EXPECT_NE(GetLastError(), ERROR_ALREADY_EXISTS) << "the turn was there already";
      LocalFree(made.lpSecurityDescriptor);
      Tree before = Snapshot(run.c);
      SetEvent(taken);
      Sleep(kTurnHeldMs);
      Report(run.c, before, Snapshot(run.c), run.c.when + " while the runner held the turn");
      ReleaseMutex(*turn);
      if (letGo) CloseHandle(*turn);
    });
    WaitForSingleObject(taken, INFINITE);
    CloseHandle(taken);
    return [holder, turn, letGo] {
      holder->join();
      if (!letGo) CloseHandle(*turn);
    };
  });
  return true;
}

// What "when" keeps while the launchers run: the folder it reads the changes of,
// the read going on, the thread that follows them, and the event that stops it.
struct Watch {
  HANDLE folder = INVALID_HANDLE_VALUE;
  OVERLAPPED read = {};
  HANDLE stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::vector<DWORD> changes = std::vector<DWORD>(4096);  // aligned as the records want
  std::thread thread;

  void ReadChanges() {
    ResetEvent(read.hEvent);
    ReadDirectoryChangesW(folder, changes.data(), changes.size() * sizeof(DWORD), FALSE,
                          FILE_NOTIFY_CHANGE_FILE_NAME, nullptr, &read, nullptr);
  }
};

// when PATH appears: while the launchers run, the runner watches for PATH, and
// each time it appears (made, or renamed to PATH) does what the "hold ... for"
// and "===" lines ask for. It reads the folder's changes, which Windows keeps
// from one read to the next: a file removed and made anew at once still counts
// as appearing again. What the other lines ask for is set before the launchers
// start, and so before the first change.
bool When(CaseFile& c, const std::string& rest) {
  const std::string kAppears = " appears";
  size_t appears = rest.size() - std::min(rest.size(), kAppears.size());
  if (appears == 0 || rest.compare(appears, kAppears.size(), kAppears) != 0) return false;
  const int line = c.whenAt = c.line;
  std::string path = Place(c, rest.substr(0, appears));
  c.mustAct[line] = NameOf(c, path) + " never appeared while the launchers ran";
  c.around.push_back([path, line](Run& run) {
    auto watch = std::make_shared<Watch>();
    watch->folder =
        CreateFileW(PathOf(path).parent_path().wstring().c_str(), FILE_LIST_DIRECTORY,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
    watch->read.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    watch->ReadChanges();  // from here on, every change is kept
    watch->thread = std::thread([watch = watch.get(), &run, path, line] {
      const std::wstring name = PathOf(path).filename().wstring();
      const HANDLE events[] = {watch->read.hEvent, watch->stop};
      for (int seen = 0; WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0;) {
        DWORD got = 0;
        GetOverlappedResult(watch->folder, &watch->read, &got, FALSE);
        for (auto next = reinterpret_cast<const char*>(watch->changes.data()); got;) {
          auto change = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(next);
          std::wstring changed(change->FileName, change->FileNameLength / sizeof(wchar_t));
          bool appeared =
              change->Action == FILE_ACTION_ADDED || change->Action == FILE_ACTION_RENAMED_NEW_NAME;
          if (appeared && changed == name) {
            run.Acted(line);
            for (const auto& act : run.onAppearance) act(path, seen);
            ++seen;
          }
          if (!change->NextEntryOffset) break;
          next += change->NextEntryOffset;
        }
        watch->ReadChanges();
      }
    });
    return [watch] {
      SetEvent(watch->stop);
      watch->thread.join();
      DWORD unread = 0;  // the read going on writes into `changes` until it has ended
      CancelIoEx(watch->folder, &watch->read);
      GetOverlappedResult(watch->folder, &watch->read, &unread, TRUE);
      for (HANDLE handle : {watch->read.hEvent, watch->stop, watch->folder}) CloseHandle(handle);
    };
  });
  return true;
}

// === PATH: the lines below are what another program (the simulator) saves into
// PATH when the file of "when" appears; for a second "===" block, when it appears
// the second time. The runner saves while it holds the file that appeared as a
// scanner does, so that the launcher cannot rename it first; a save made once
// that file is gone does not count. Until each save is made, it holds the file
// saved into as a backup client does, so that the launcher's check that it could
// write there waits, however late the runner sees the file appear: no save lands
// after the launcher's rename.
bool Save(CaseFile& c, const std::string& rest, const std::string& text) {
  c.saves.push_back({Place(c, rest), text, c.line});
  c.onAppearanceAt.push_back(c.line);
  c.mustAct[c.line] = "never saved: the file of \"when\" was not there for appearance " +
                      std::to_string(c.saves.size());
  if (c.saves.size() > 1) return true;  // the first block's unit makes every save
  c.around.push_back([](Run& run) {
    const auto& saves = run.c.saves;
    auto hold = [&run](const CaseFile::Saved& save) {
      return OpenToRead(run.c, save.line, save.place, kBackupSharing, false);
    };
    auto held = std::make_shared<HANDLE>(hold(saves.front()));
    auto letGo = [held] {
      if (*held != INVALID_HANDLE_VALUE) CloseHandle(*held);
      *held = INVALID_HANDLE_VALUE;
    };
    run.onAppearance.push_back(
        [&run, &saves, hold, held, letGo](const std::string& path, int seen) {
          if (seen >= static_cast<int>(saves.size())) return;
          HANDLE appeared = OpenToRead(run.c, saves[seen].line, path, kScannerSharing, false);
          letGo();
          WriteText(saves[seen].place, saves[seen].bytes);
          if (appeared != INVALID_HANDLE_VALUE) run.Acted(saves[seen].line);
          if (seen + 1 < static_cast<int>(saves.size())) *held = hold(saves[seen + 1]);
          CloseHandle(appeared);
        });
    return letGo;
  });
  return true;
}

// unregister KEY: removes the key KEY of HKEY_CLASSES_ROOT, which holds a default
// value and no key below it, while each run goes on, as Windows does when it
// removes what registered it; then puts it back. The registry is the Wine
// prefix's, so such a case runs alone; a run cut short leaves the key out until
// the prefix is made anew.
bool Unregister(CaseFile& c, const std::string& rest) {
  const std::wstring key = Wide(rest);
  const int line = c.line;
  c.around.push_back([=](Run& run) {
    std::wstring value(MAX_PATH, L'\0');
    DWORD size = value.size() * sizeof(wchar_t);
    RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, &value[0], &size);
    value.resize(size / sizeof(wchar_t) - 1);
    if (RegDeleteKeyW(HKEY_CLASSES_ROOT, key.c_str()))
      FAIL_AT_LINE(run.c, line) << "cannot remove HKEY_CLASSES_ROOT\\" << rest;
    return [key, value] {
      RegSetKeyValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, REG_SZ, value.c_str(),
                      (value.size() + 1) * sizeof(wchar_t));
    };
  });
  return true;
}

// quarantine NAME: the program NAME of the system folder, where the launcher
// starts the script host from, is moved aside while each run goes on, as an
// antivirus does with a file it puts in quarantine, and put back after. Wine
// then refuses to start it, as Windows does. The system folder is the prefix's
// (this 32-bit process sees the one the launcher sees), so such a case runs
// alone; a run cut short leaves the program aside until the next test run puts
// it back.
bool Quarantine(CaseFile& c, const std::string& rest) {
  std::wstring program(MAX_PATH, L'\0');
  program.resize(GetSystemDirectoryW(&program[0], program.size()));
  program += L"\\" + Wide(rest);
  const std::wstring aside = program + L".quarantined";
  const int line = c.line;
  c.around.push_back([=](Run& run) {
    if (!MoveFileExW(program.c_str(), aside.c_str(), MOVEFILE_REPLACE_EXISTING))
      FAIL_AT_LINE(run.c, line) << "cannot put " << Utf8(program) << " in quarantine";
    return [=] { MoveFileExW(aside.c_str(), program.c_str(), MOVEFILE_REPLACE_EXISTING); };
  });
  return true;
}
