#include "check.h"

#include "simconfig.h"

namespace {

// The rules read the settings file itself and write their corrections to a
// working copy beside it, which is no .cfg file.
constexpr char kWorkingCopyName[] = "VYRA-cfg.tmp";

// Makes the copy at the first correction, noting the file's stamp first. Once a
// write has failed, writes nothing more. A profile write counts only where the
// copy can still grow afterwards: Wine's reports success even when a full disk
// cut its rewrite short.
void Correct(WorkingCopy& copy, const char* section, const char* key, const char* value) {
  if (!copy.tried && !copy.file.empty()) {
    copy.stamp = StampOf(copy.file);
    copy.ours = copy.intact = CopyToNew(copy.file, copy.path);
  }
  copy.tried = true;
  if (copy.intact)
    copy.intact = WriteIniString(section, key, value, copy.path) && CanGrow(copy.path);
}

// Runs the rules on the file `path`, writing what they correct to `copy`.
AdvisoryList RunRules(const std::string& path, WorkingCopy& copy) {
  AdvisoryList advice;
  if (ReadIniInt("GRAPHICS", "HDR", 0, path) != 0) {
    advice.push_back("You must disable HDR Lighting to use VYRA!");
    Correct(copy, "GRAPHICS", "HDR", "0");
  }

  if (!IsCompositionEnabled())
    advice.push_back("Please enable Aero.  Otherwise dialogs may not display correctly.");

  if (ReadIniString("Display", "FullScreen", "True", path) == "True" ||
      ReadIniInt("Display", "FullScreen", 0, path) == 1) {
    advice.push_back("Please disable full-screen mode.");
    advice.push_back("It causes poor performance and distortion");
    Correct(copy, "Display", "FullScreen", "False");
  }

  if (ReadIniInt("USERINTERFACE", "MUTE_ON_LOST_FOCUS", 1, path) != 0) {
    Correct(copy, "USERINTERFACE", "MUTE_ON_LOST_FOCUS", "0");
    advice.push_back("Please disable mute on lost focus");
  }

  if (GetPluginSettings().async) {
    if (ReadIniInt("Display", "VSYNC", 0, path) != 0) {
      Correct(copy, "Display", "VSYNC", "0");
      advice.push_back("Turn off V-Sync when using asynchronous timewarp");
    }
  } else if (ReadIniInt("Display", "VSYNC", 1, path) != 1) {
    Correct(copy, "Display", "VSYNC", "1");
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
  for (int pass = 1;; ++pass) {
    WorkingCopy copy = WorkingCopyFor(path, kWorkingCopyName);
    AdvisoryList advice = RunRules(path, copy);
    if (PutInPlace(copy) || pass == 2) return advice;
  }
}
