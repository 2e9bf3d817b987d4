#include "check.h"

#include "platform.h"
#include "simconfig.h"

namespace {

// Without a simulator folder there is no file: every read gives its default
// and no write is issued, so no stray file appears anywhere else.
unsigned ReadInt(const std::string& path, const char* section, const char* key, int fallback) {
  return path.empty() ? fallback : ReadIniInt(section, key, fallback, path);
}

void Write(const std::string& path, const char* section, const char* key, const char* value) {
  if (!path.empty()) WriteIniString(section, key, value, path);
}

}  // namespace

AdvisoryList CheckSimulatorSettings() {
  AdvisoryList advice;
  const std::string path = GetSimulatorConfigPath();

  if (ReadInt(path, "GRAPHICS", "HDR", 0) != 0) {
    advice.push_back("You must disable HDR Lighting to use VYRA!");
    Write(path, "GRAPHICS", "HDR", "0");
  }

  if (!IsCompositionEnabled())
    advice.push_back("Please enable Aero.  Otherwise dialogs may not display correctly.");

  std::string fullScreen =
      path.empty() ? "True" : ReadIniString("Display", "FullScreen", "True", path);
  if (fullScreen == "True" || ReadInt(path, "Display", "FullScreen", 0) == 1) {
    advice.push_back("Please disable full-screen mode.");
    advice.push_back("It causes poor performance and distortion");
    Write(path, "Display", "FullScreen", "False");
  }

  if (ReadInt(path, "USERINTERFACE", "MUTE_ON_LOST_FOCUS", 1) != 0) {
    Write(path, "USERINTERFACE", "MUTE_ON_LOST_FOCUS", "0");
    advice.push_back("Please disable mute on lost focus");
  }

  if (GetPluginSettings().async) {
    if (ReadInt(path, "Display", "VSYNC", 0) != 0) {
      Write(path, "Display", "VSYNC", "0");
      advice.push_back("Turn off V-Sync when using asynchronous timewarp");
    }
  } else if (ReadInt(path, "Display", "VSYNC", 1) != 1) {
    Write(path, "Display", "VSYNC", "1");
    advice.push_back("Turn on V-Sync when using synchronous timewarp");
  }
  return advice;
}
