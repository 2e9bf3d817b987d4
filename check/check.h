// The check that brings the simulator's settings in line with the plug-in, and
// the working copy through which the launcher changes any of the simulator's files.
#pragma once

#include <string>
#include <vector>

#include "platform.h"

// Advisory messages, in the order the rules found them.
using AdvisoryList = std::vector<std::string>;

// Tests HDR, desktop composition, full screen, mute on lost focus and V-Sync,
// corrects Prepar3D.cfg, and returns what it found. The file (or the file a link
// names) is replaced whole by a corrected copy, or not at all, and never over a
// save that another program made meanwhile. Without a
// simulator folder, or for a file with a second name, the rules run and nothing
// is written.
AdvisoryList CheckSimulatorSettings();

// A copy of a file that takes the file's place in one step once every change
// reached it: a full disk, a quota, a crash or a power cut leaves the file as it
// was, never cut short.
struct WorkingCopy {
  std::string file;     // the file the copy replaces; empty when nothing may be changed
  std::string path;     // the copy beside it
  FileStamp stamp;      // the file's, noted before the copy was made
  bool tried = false;   // making the copy was tried
  bool ours = false;    // this run made the copy
  bool intact = false;  // ours, and every change since reached it
};

// The working copy `copyName` (no longer than the file's own name, so that it
// fits wherever the file's path fits) of the file that `path` finally names;
// nothing may be changed (an empty `file`) for a file with a second name or
// none that can be opened. A copy left by a run cut short goes first.
WorkingCopy WorkingCopyFor(const std::string& path, const char* copyName);

// Puts the copy in the file's place if it took every change, is on the disk,
// and the file is as it was when the copy was made, is not read-only and could
// be written; otherwise the file stands and the copy goes. False when another
// program saved the file meanwhile.
bool PutInPlace(const WorkingCopy& copy);
