// One run of the launcher: settings check, module registration, simulator start.
#pragma once

#include <string>

// The turn that one launcher at a time takes while it edits the simulator's
// files (Prepar3D.cfg, and dll.xml through the registration script). Other
// tools that edit them, an installer of the plug-in for one, take it by this name.
constexpr char kTurnName[] = "Local\\VyraLauncher.SimulatorFiles";

// How long a launcher waits for its turn. A turn lasts one check and one
// registration: well under a second on an idle machine, a few seconds when a
// virus scanner inspects every write and the script host's start. Thirty
// seconds outlast several such turns in a row (a double click, the Enter key
// held down), while a pilot whose other launcher hangs in its turn still gets
// the simulator within half a minute, its files then left as they are.
constexpr unsigned kTurnWaitMs = 30000;

// `cscript modify_dlls.vbs "<path>" VYRA_02.dll`: the path in one pair of quotes.
std::string BuildRegistrationCommand(const std::string& registrationFile);

// The module list (dll.xml) `bytes` with one Launch.Addon entry for VYRA_02.dll
// before its last closing root tag, in the file's line ends and its last entry's
// indentation, every other byte as it was. Empty when the list names a module of
// the plug-in already (VYRA_*.dll, in any folder and letter case, enabled or not,
// not in a comment), or cannot be read safely: no closing root tag (in UTF-16,
// for one, there is none to be found byte by byte), or an encoding declared in
// which a byte below 128 may be other than that ASCII character (Shift_JIS).
std::string WithModuleEntered(const std::string& bytes);

// Larger than any module list a simulator has: a larger file is not read.
constexpr unsigned long kLargestModuleList = 1 << 20;

// Enters VYRA_02.dll in the module list `registrationFile` where the registration
// script could not, as WithModuleEntered gives it, through a working copy; makes
// a new list (Windows-1252, CR LF) where there is none, without replacing one
// that another program made meanwhile. A list it cannot read safely, or larger
// than kLargestModuleList, stays exactly as it is.
void EnterModule(const std::string& registrationFile);

// Runs the three stages for the command-line text and returns the exit code, 0.
// The check and the registration wait at most `turnWaitMs` for the turn, and are
// left out when it does not come.
int RunLauncher(const wchar_t* commandLine, unsigned turnWaitMs = kTurnWaitMs);
