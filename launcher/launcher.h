// One run of the launcher: settings check, module registration, simulator start.
#pragma once

// The turn that one launcher at a time takes while it edits the simulator's
// files (Prepar3D.cfg, and dll.xml through the registration script and itself).
// Other tools that edit them, an installer of the plug-in for one, take it by
// this name.
constexpr char kTurnName[] = "Local\\VyraLauncher.SimulatorFiles";

// How long a launcher waits for its turn. A turn lasts one check and one
// registration: well under a second on an idle machine, a few seconds when a
// virus scanner inspects every write and the script host's start. Thirty
// seconds outlast several such turns in a row (a double click, the Enter key
// held down). Not every turn: where other programs refused each file operation
// until its last try, one would spend kRetriesMs (edit.h) on each step.
// A launcher that waits behind a turn so slowed, or behind one that hangs,
// still gets the simulator within half a minute, its files then left as they are.
constexpr unsigned kTurnWaitMs = 30000;

// Runs the three stages for the command-line text and returns the exit code, 0.
// The check and the registration wait at most `turnWaitMs` for the turn, and are
// left out when it does not come.
int RunLauncher(const wchar_t* commandLine, unsigned turnWaitMs = kTurnWaitMs);
