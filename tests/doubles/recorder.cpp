// Stands in for cscript.exe or Prepar3D.exe: appends one line to RECORD_FILE
// in the current folder, the command and each argument as the C runtime split
// them, in brackets. The line is written in one append, whole, however many
// doubles run at once.
//
// The script says so ("[outside the turn]") when it runs while its launcher
// does not hold the launchers' turn. The simulator, when REGISTRATIONS_AWAITED
// is set to a number N, runs until cscript.log holds N registrations, at most
// kSimulatorRunsMs, and then adds how many it saw: a launcher started beside
// this one registers while this simulator runs only once the turn is given back.
#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "launcher.h"

constexpr DWORD kSimulatorRunsMs = 20000;
constexpr DWORD kLookEveryMs = 50;

static int Registrations() {
  std::ifstream log("cscript.log");
  int lines = 0;
  for (std::string line; std::getline(log, line);) ++lines;
  return lines;
}

int main(int argc, char** argv) {
  HANDLE turn = CreateMutexExA(nullptr, kTurnName, 0, SYNCHRONIZE | MUTEX_MODIFY_STATE);
  DWORD waited = WaitForSingleObject(turn, 0);
  bool outsideTurn = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
  if (outsideTurn) ReleaseMutex(turn);

  const char* awaited = INSIDE_TURN ? nullptr : std::getenv("REGISTRATIONS_AWAITED");
  int seen = Registrations();
  for (DWORD ran = 0; awaited && seen < std::atoi(awaited) && ran < kSimulatorRunsMs;
       ran += kLookEveryMs, seen = Registrations())
    Sleep(kLookEveryMs);

  std::string line;
  for (int i = 0; i < argc; ++i) line += std::string("[") + argv[i] + "]";
  if (INSIDE_TURN && outsideTurn) line += "[outside the turn]";
  if (awaited) line += "[" + std::to_string(seen) + " registrations]";
  line += "\r\n";
  HANDLE record = CreateFileA(RECORD_FILE, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written = 0;
  bool whole =
      WriteFile(record, line.data(), line.size(), &written, nullptr) && written == line.size();
  return !(CloseHandle(record) && whole);
}
