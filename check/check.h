// The check that brings the simulator's settings in line with the plug-in.
#pragma once

#include <string>
#include <vector>

// Advisory messages, in the order the rules found them.
using AdvisoryList = std::vector<std::string>;

// Tests HDR, desktop composition, full screen, mute on lost focus and V-Sync,
// corrects Prepar3D.cfg, and returns what it found. The file (or the file a link
// names) is replaced whole by a corrected copy, or not at all, and never over a
// save that another program made meanwhile: one made from the rules' first read
// on is seen, and the rules run once more, on what it saved; saved again during
// that run, it stays as saved. A file removed meanwhile is made anew by that second
// run, with what the rules write to an absent file. Without a simulator folder,
// for a file with a second name, or where a read of the file stays refused, the
// rules run and nothing is written.
AdvisoryList CheckSimulatorSettings();
