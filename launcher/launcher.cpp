#include "launcher.h"

#include "check.h"
#include "platform.h"
#include "registration.h"
#include "simconfig.h"

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
  if (!TextEquals(commandLine, L"config")) StartProgram("Prepar3D.exe");
  return 0;
}
