#include "check.h"

#include "platform.h"
#include "simconfig.h"

namespace {

// The rules read the settings file itself and write their corrections to a
// working copy beside it, which takes the file's place in one step once every
// correction reached it: a full disk, a quota, a crash or a power cut leaves the
// file as it was, never cut short. The copy's name is fixed, and not *.cfg, so a
// run cut short leaves one stray copy at most, which the simulator never reads
// and the next run replaces or removes.
constexpr char kWorkingCopySuffix[] = ".vyra-tmp";

struct WorkingCopy {
  std::string file;     // the settings file; empty without a simulator folder
  std::string path;     // the copy beside it
  bool made = false;    // the first correction has made the copy
  bool intact = false;  // made, and every correction since reached it
};

// Makes the copy at the first correction; once a write has failed, writes nothing more.
void Correct(WorkingCopy& copy, const char* section, const char* key, const char* value) {
  if (!copy.made) copy.intact = CopyFileOver(copy.file, copy.path);
  copy.made = true;
  if (copy.intact) copy.intact = WriteIniString(section, key, value, copy.path);
}

// The one place the settings file is replaced: by a copy that took every
// correction and is on the disk. Otherwise the file stands and the copy goes,
// as does a stray one left by a run cut short.
void PutInPlace(const WorkingCopy& copy) {
  if (copy.intact && FlushToDisk(copy.path) && ReplaceFileWith(copy.file, copy.path)) return;
  RemoveFile(copy.path);
}

}  // namespace

AdvisoryList CheckSimulatorSettings() {
  AdvisoryList advice;
  const std::string path = GetSimulatorConfigPath();  // empty without a simulator folder
  WorkingCopy copy{path, path.empty() ? path : path + kWorkingCopySuffix};

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

  PutInPlace(copy);
  return advice;
}
