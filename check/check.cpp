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
  FileStamp stamp;      // the file's, when the copy was made
  bool tried = false;   // the first correction has tried to make the copy
  bool ours = false;    // this run made the copy
  bool intact = false;  // ours, and every correction since reached it
};

// The copy goes beside the file that a link finally names, so that the rename
// replaces that file and the link stays. A file with a second name (a hard
// link) is not corrected at all: a copy in its place would cut the other name
// off. A copy left by a run cut short goes first, so that nothing of it (bytes
// or attributes) passes on; anything else there (a folder, a link, another
// file's second name) is not ours and stays exactly as it is, and then no copy
// can be made.
WorkingCopy WorkingCopyFor(const std::string& settingsFile) {
  WorkingCopy copy;
  std::string file = settingsFile.empty() ? settingsFile : FinalPath(settingsFile);
  if (file.empty() || NameCount(file) != 1) return copy;
  copy.file = file;
  copy.path = file.substr(0, file.rfind('\\') + 1) + kWorkingCopyName;
  if (IsPlainFile(copy.path)) RemoveFile(copy.path);
  return copy;
}

// Makes the copy at the first correction, noting the file's stamp first. Once a
// write has failed, writes nothing more.
void Correct(WorkingCopy& copy, const char* section, const char* key, const char* value) {
  if (!copy.tried && !copy.file.empty()) {
    copy.stamp = StampOf(copy.file);
    copy.ours = copy.intact = CopyToNew(copy.file, copy.path);
  }
  copy.tried = true;
  if (copy.intact) copy.intact = WriteIniString(section, key, value, copy.path);
}

// The one place the settings file is replaced: by a copy that took every
// correction and is on the disk, and only while the file is as it was when the
// copy was made, is not read-only and could be written. Otherwise the file
// stands and the copy goes. False when another program saved the file meanwhile.
bool PutInPlace(const WorkingCopy& copy) {
  if (!copy.ours) return true;
  if (copy.intact && FlushToDisk(copy.path) && ReplaceFileWith(copy.file, copy.path, copy.stamp))
    return true;
  RemoveFile(copy.path);
  return StampOf(copy.file) == copy.stamp;
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
    WorkingCopy copy = WorkingCopyFor(path);
    AdvisoryList advice = RunRules(path, copy);
    if (PutInPlace(copy) || pass == 2) return advice;
  }
}
