#include "launcher.h"

#include <algorithm>

#include "check.h"
#include "files.h"
#include "registration.h"
#include "simconfig.h"

// Where CreateProcess would find the program `name` named without a folder: the
// first of its folders that holds a file of that name, by its full path; empty
// where none does. PATH's folders are split at ";", their quotes dropped.
static std::string FindProgram(const std::string& name) {
  std::vector<std::string> folders = ProgramFolders(name);
  const std::string path = folders.back();
  folders.pop_back();
  for (size_t start = 0, end; start < path.size(); start = end + 1) {
    end = std::min(path.find(';', start), path.size());
    std::string folder = path.substr(start, end - start);
    folder.erase(std::remove(folder.begin(), folder.end(), '"'), folder.end());
    folders.push_back(folder);
  }
  for (std::string folder : folders) {
    FileStat stat;
    if (folder.empty()) continue;
    if (folder.back() != '\\') folder += '\\';
    if (files::Stat(folder + name, stat) == kDone && !(stat.attributes & kFolder))
      return FullPath(folder + name);
  }
  return {};
}

int RunLauncher(const wchar_t* commandLine, unsigned turnWaitMs) {
  // The turn covers every edit of the simulator's files: two launchers started
  // at once would otherwise replace each other's working copy of the settings
  // file and edit dll.xml together. The simulator, which runs for hours, starts
  // after the turn is given back, so that the next launcher need not wait for it.
  if (void* turn = TakeTurn(kTurnName, turnWaitMs)) {
    CheckSimulatorSettings();  // what it advises is not shown: the launcher is silent

    // Without a simulator folder there is no dll.xml to register the module in. The
    // script's console opens minimized, in the taskbar: nothing flashes in front of
    // the pilot, and a question the script asks can still be answered there.
    const std::string folder = FindSimulatorFolder();
    if (!folder.empty()) RegisterModule(folder + "\\dll.xml");
    GiveBackTurn(turn);
  }

  // The launcher waits for the simulator, so that a tool watching the launcher
  // (a shortcut manager, a VR or streaming tool) sees how long the flight lasts.
  if (!TextEquals(commandLine, L"config")) {
    const std::string simulator = FindProgram("Prepar3D.exe");
    if (!simulator.empty()) StartProgram(simulator);
  }
  return 0;
}
