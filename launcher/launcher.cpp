#include "launcher.h"

#include "check.h"
#include "platform.h"
#include "simconfig.h"

std::string BuildRegistrationCommand(const std::string& registrationFile) {
  return "cscript modify_dlls.vbs \"" + registrationFile + "\" VYRA_02.dll";
}

// The script registers the module wherever it can run, and what it decides
// stands. It cannot where VBScript is turned off or removed (an optional feature
// of Windows since 11 24H2), where the script is not in the current folder, where
// the script host cannot be started, or where the host ends with an error: the
// launcher then enters the module itself. The host's exit code is the script's
// own; what it is when the host finds no engine or no script is not documented,
// so those two are looked at first, as the host would look.
static void RegisterModule(const std::string& registrationFile) {
  unsigned long exitCode = 1;
  bool ran = ScriptEngineRegistered(".vbs") && PathExists("modify_dlls.vbs") &&
             RunCommand(BuildRegistrationCommand(registrationFile), exitCode) && exitCode == 0;
  if (!ran) EnterModule(registrationFile);
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
  if (!TextEquals(commandLine, L"config")) StartProgram("Prepar3D.exe");
  return 0;
}
