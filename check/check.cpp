#include "check.h"

#include "platform.h"
#include "simconfig.h"

namespace {

// The rules read the settings file itself and write their corrections to a
// working copy beside it, which takes the file's place in one step once every
// correction reached it: a full disk, a quota, a crash or a power cut leaves the
// file as it was, never cut short. The copy's name is fixed, not *.cfg, and no
// longer than "Prepar3D.cfg", so it fits wherever the file's own path fits; a
// run cut short leaves one stray copy at most, which the simulator never reads
// and the next run removes.
constexpr char kWorkingCopyName[] = "VYRA-cfg.tmp";

struct WorkingCopy {
  std::string file;     // the file the copy replaces; empty when nothing may be corrected
  std::string path;     // the copy beside it
  bool made = false;    // the first correction has made the copy
  bool intact = false;  // made, and every correction since reached it
};

// The copy goes beside the file that a link finally names, so that the rename
// replaces that file and the link stays. A file with a second name (a hard
// link) is not corrected at all: a copy in its place would cut the other name off.
WorkingCopy WorkingCopyFor(const std::string& settingsFile) {
  WorkingCopy copy;
  std::string file = settingsFile.empty() ? settingsFile : FinalPath(settingsFile);
  if (file.empty() || NameCount(file) != 1) return copy;
  copy.file = file;
  copy.path = file.substr(0, file.rfind('\\') + 1) + kWorkingCopyName;
  return copy;
}

// Makes the copy at the first correction, after removing a leftover one, so that
// nothing of it (bytes or attributes) passes on; where something else stands (a
// folder), the copy cannot be made. Once a write has failed, writes nothing more.
void Correct(WorkingCopy& copy, const char* section, const char* key, const char* value) {
  if (!copy.made && !copy.file.empty()) {
    RemoveFile(copy.path);
    copy.intact = CopyToNew(copy.file, copy.path);
  }
  copy.made = true;
  if (copy.intact) copy.intact = WriteIniString(section, key, value, copy.path);
}

// The one place the settings file is replaced: by a copy that took every
// correction and is on the disk. Otherwise the file stands and the copy goes,
// as does a stray one left by a run cut short.
void PutInPlace(const WorkingCopy& copy) {
  if (copy.file.empty()) return;
  if (copy.intact && FlushToDisk(copy.path) && ReplaceFileWith(copy.file, copy.path)) return;
  RemoveFile(copy.path);
}

}  // namespace

AdvisoryList CheckSimulatorSettings() {
  AdvisoryList advice;
  const std::string path = GetSimulatorConfigPath();  // empty without a simulator folder
  WorkingCopy copy = WorkingCopyFor(path);

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
