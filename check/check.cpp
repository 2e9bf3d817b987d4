#include "check.h"

#include "platform.h"
#include "simconfig.h"

AdvisoryList CheckSimulatorSettings() {
  AdvisoryList advice;
  const std::string path = GetSimulatorConfigPath();  // empty without a simulator folder

  if (ReadIniInt("GRAPHICS", "HDR", 0, path) != 0) {
    advice.push_back("You must disable HDR Lighting to use VYRA!");
    WriteIniString("GRAPHICS", "HDR", "0", path);
  }

  if (!IsCompositionEnabled())
    advice.push_back("Please enable Aero.  Otherwise dialogs may not display correctly.");

  if (ReadIniString("Display", "FullScreen", "True", path) == "True" ||
      ReadIniInt("Display", "FullScreen", 0, path) == 1) {
    advice.push_back("Please disable full-screen mode.");
    advice.push_back("It causes poor performance and distortion");
    WriteIniString("Display", "FullScreen", "False", path);
  }

  if (ReadIniInt("USERINTERFACE", "MUTE_ON_LOST_FOCUS", 1, path) != 0) {
    WriteIniString("USERINTERFACE", "MUTE_ON_LOST_FOCUS", "0", path);
    advice.push_back("Please disable mute on lost focus");
  }

  if (GetPluginSettings().async) {
    if (ReadIniInt("Display", "VSYNC", 0, path) != 0) {
      WriteIniString("Display", "VSYNC", "0", path);
      advice.push_back("Turn off V-Sync when using asynchronous timewarp");
    }
  } else if (ReadIniInt("Display", "VSYNC", 1, path) != 1) {
    WriteIniString("Display", "VSYNC", "1", path);
    advice.push_back("Turn on V-Sync when using synchronous timewarp");
  }
  return advice;
}
