// Stands in for cscript.exe or Prepar3D.exe: appends one line to RECORD_FILE in
// the current folder, the command and each argument as the C runtime split them
// from the UTF-16 command line, in brackets, in UTF-8 (a letter the launcher
// handed over as "?" or a look-alike is recorded as that). The line is written
// in one append, one double at a time: Wine's appends from two processes at once
// can land on the same place.
//
// The script (SCRIPT) adds "[outside the turn]" when it runs while its launcher
// does not hold the launchers' turn, and "[console not minimized without focus]"
// when its console was not asked to open so. It enters the module in the module
// list it is handed, as a pilot's script does. With SCRIPT_ACTS=enters-nothing
// it enters nothing and ends with 0, as a script that failed, or a host that
// Windows switched off or that a policy kept from running it, may; with
// SCRIPT_ACTS=fails it enters nothing and ends with exit code 1. Any other
// SCRIPT_ACTS adds "[SCRIPT_ACTS not understood]".
//
// The simulator adds "[not shown as a double-click shows it]" when it was not
// asked to show its window as Explorer asks. With SIMULATOR_RUNS_MS set, it runs
// that long before it writes its line. With REGISTRATIONS_AWAITED set to a
// number N, it runs until cscript.log holds N registrations, at most
// kSimulatorRunsMs, and then adds how many it saw: a launcher started beside this
// one registers while this simulator runs only once the turn is given back.
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "launcher.h"

constexpr DWORD kSimulatorRunsMs = 20000;
constexpr DWORD kLookEveryMs = 50;

static int Registrations() {
  std::ifstream log("cscript.log");
  return std::count(std::istreambuf_iterator<char>(log), {}, '\n');
}

// An entry before the closing root tag of the list, or a new list with it; none
// where the list names the module already or has no closing root tag.
static void EnterModule(const std::filesystem::path& list) {
  std::ifstream in(list, std::ios::binary);
  std::string xml{std::istreambuf_iterator<char>(in), {}};
  in.close();
  if (xml.empty()) xml = "<SimBase.Document>\r\n</SimBase.Document>\r\n";
  size_t closing = xml.rfind("</SimBase.Document>");
  if (xml.find("VYRA_02.dll") != std::string::npos || closing == std::string::npos) return;
  const char entry[] = "<Launch.Addon><Path>VYRA_02.dll</Path></Launch.Addon>\r\n";
  std::ofstream(list, std::ios::binary) << xml.insert(closing, entry);
}

// True when whoever started this program asked it to show its window as `show`.
static bool AskedToShow(WORD show) {
  STARTUPINFOW startup;
  GetStartupInfoW(&startup);
  return (startup.dwFlags & STARTF_USESHOWWINDOW) && startup.wShowWindow == show;
}

static std::string Utf8(const wchar_t* text) {
  int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string utf8(size, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, &utf8[0], size, nullptr, nullptr);
  utf8.pop_back();  // the terminating zero
  return utf8;
}

int wmain(int argc, wchar_t** argv) {
  HANDLE turn = CreateMutexExA(nullptr, kTurnName, 0, SYNCHRONIZE | MUTEX_MODIFY_STATE);
  DWORD waited = WaitForSingleObject(turn, 0);
  bool outsideTurn = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
  if (outsideTurn) ReleaseMutex(turn);

  const char* runsMs = SCRIPT ? nullptr : std::getenv("SIMULATOR_RUNS_MS");
  if (runsMs) Sleep(std::atoi(runsMs));
  const char* awaited = SCRIPT ? nullptr : std::getenv("REGISTRATIONS_AWAITED");
  int seen = Registrations();
  for (DWORD ran = 0; awaited && seen < std::atoi(awaited) && ran < kSimulatorRunsMs;
       ran += kLookEveryMs, seen = Registrations())
    Sleep(kLookEveryMs);

  const std::string acts = SCRIPT && std::getenv("SCRIPT_ACTS") ? std::getenv("SCRIPT_ACTS") : "";
  std::string line;
  for (int i = 0; i < argc; ++i) line += "[" + Utf8(argv[i]) + "]";
  if (!acts.empty() && acts != "enters-nothing" && acts != "fails")
    line += "[SCRIPT_ACTS not understood]";
  if (SCRIPT && outsideTurn) line += "[outside the turn]";
  if (SCRIPT && !AskedToShow(SW_SHOWMINNOACTIVE)) line += "[console not minimized without focus]";
  if (!SCRIPT && !AskedToShow(SW_SHOWNORMAL)) line += "[not shown as a double-click shows it]";
  if (awaited) line += "[" + std::to_string(seen) + " registrations]";
  line += "\r\n";
  HANDLE oneAtATime = CreateMutexA(nullptr, FALSE, "Local\\VyraTestDoubles.Record");
  WaitForSingleObject(oneAtATime, INFINITE);
  HANDLE record = CreateFileA(RECORD_FILE, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written = 0;
  bool whole =
      WriteFile(record, line.data(), line.size(), &written, nullptr) && written == line.size();
  bool closed = CloseHandle(record);
  ReleaseMutex(oneAtATime);
  if (SCRIPT && acts.empty() && argc > 2) EnterModule(argv[2]);
  if (acts == "fails") return 1;
  return !(closed && whole);
}
