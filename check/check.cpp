#include "check.h"

#include "edit.h"
#include "simconfig.h"

namespace {

// The rules read the settings file itself and write their corrections to a
// working copy beside it, which is no .cfg file.
constexpr char kWorkingCopyName[] = "VYRA-cfg.tmp";

// Writes a correction to the copy. A profile write counts only where the copy
// can still grow afterwards: Wine's reports success even when a full disk cut
// its rewrite short. The room check measures the copy once, so that a try again
// after a cut that was refused cuts it back to what the write left.
void Correct(Edit& edit, const char* section, const char* key, const char* value) {
  Change(edit, [&](const WorkingCopy& copy) {
    unsigned long long length = kUnmeasured;
    return Retried([&] { return files::WriteIniText(section, key, value, copy.path); }) == kDone &&
           Retried([&] { return files::CheckRoom(copy, length); }) == kDone;
  });
}

// Runs the rules on the file `path`, writing what they correct to the edit's copy.
AdvisoryList RunRules(const std::string& path, Edit& edit) {
  AdvisoryList advice;
  if (ReadIniInt("GRAPHICS", "HDR", 0, path) != 0) {
    advice.push_back("You must disable HDR Lighting to use VYRA!");
    Correct(edit, "GRAPHICS", "HDR", "0");
  }

  if (!IsCompositionEnabled())
    advice.push_back("Please enable Aero.  Otherwise dialogs may not display correctly.");

  if (ReadIniString("Display", "FullScreen", "True", path) == "True" ||
      ReadIniInt("Display", "FullScreen", 0, path) == 1) {
    advice.push_back("Please disable full-screen mode.");
    advice.push_back("It causes poor performance and distortion");
    Correct(edit, "Display", "FullScreen", "False");
  }

  if (ReadIniInt("USERINTERFACE", "MUTE_ON_LOST_FOCUS", 1, path) != 0) {
    Correct(edit, "USERINTERFACE", "MUTE_ON_LOST_FOCUS", "0");
    advice.push_back("Please disable mute on lost focus");
  }

  if (GetPluginSettings().async) {
    if (ReadIniInt("Display", "VSYNC", 0, path) != 0) {
      Correct(edit, "Display", "VSYNC", "0");
      advice.push_back("Turn off V-Sync when using asynchronous timewarp");
    }
  } else if (ReadIniInt("Display", "VSYNC", 1, path) != 1) {
    Correct(edit, "Display", "VSYNC", "1");
    advice.push_back("Turn on V-Sync when using synchronous timewarp");
  }
  return advice;
}

}  // namespace

// A save by another program while the rules ran (the simulator writing its
// settings on the way out) is kept: the rules run once more, on what it saved,
// and when it is saved once more meanwhile, it stays as it was saved.
AdvisoryList CheckSimulatorSettings() {
  const std::string path = GetSimulatorConfigPath();  // empty without a simulator folder
  AdvisoryList advice;
  EditFile(path, kWorkingCopyName, [&](Edit& edit) { advice = RunRules(path, edit); });
  return advice;
}
