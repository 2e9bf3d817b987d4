// The plug-in's module registered with the simulator: the registration script
// run, and the module list (dll.xml) read and edited where the script cannot run.
#pragma once

#include <string>

// `cscript modify_dlls.vbs "<path>" VYRA_02.dll`: the path in one pair of quotes.
std::string BuildRegistrationCommand(const std::string& registrationFile);

// Runs the registration script on the module list `registrationFile` where it
// can run, and enters VYRA_02.dll itself, as EnterModule does, where it cannot.
void RegisterModule(const std::string& registrationFile);

// The module list (dll.xml) `bytes` with one Launch.Addon entry for VYRA_02.dll
// before its last closing root tag, in the file's line ends and its last entry's
// indentation, every other byte as it was. Empty when the list names a module of
// the plug-in already (VYRA_*.dll, in any folder and letter case, enabled or
// not, not in a comment), or cannot be read safely: no closing root tag (in
// UTF-16, for one, there is none to be found byte by byte), or an encoding
// declared in which a byte below 128 may be other than that ASCII character
// (Shift_JIS).
std::string WithModuleEntered(const std::string& bytes);

// Larger than any module list a simulator has: a larger file is not read.
constexpr unsigned long kLargestModuleList = 1 << 20;

// Enters VYRA_02.dll in the module list `registrationFile`, as WithModuleEntered
// gives it, through a working copy; makes a new list (Windows-1252, CR LF) where
// there is none, without replacing one that another program made meanwhile. A
// list that names the module, one it cannot read safely, or one larger than
// kLargestModuleList stays exactly as it is.
void EnterModule(const std::string& registrationFile);
