// The plug-in's module registered with the simulator: the registration script
// run, and the module list (dll.xml) read, and edited where the script left the
// module out.
#pragma once

#include <string>

// `cscript modify_dlls.vbs "<path>" VYRA_02.dll`: the path in one pair of quotes.
std::string BuildRegistrationCommand(const std::string& registrationFile);

// Runs the registration script on the module list `registrationFile` with the
// script host of the Windows system folder, where it can run, and then enters
// VYRA_02.dll itself, as EnterModule does, where the list names no module of
// the plug-in, whatever the host said.
void RegisterModule(const std::string& registrationFile);

// The module list (dll.xml) `bytes` with one Launch.Addon entry for VYRA_02.dll
// before its last closing root tag, in the file's line ends and its last entry's
// indentation, every other byte as it was. A list of nothing but blanks and line
// ends, as a tool that crashed while saving leaves one, counts as none: a new
// list with the entry (Windows-1252, CR LF). Empty when the list names a module
// of the plug-in already (VYRA_*.dll, in any folder and letter case, enabled or
// not, not in a comment), or cannot be read safely: no closing root tag (in
// UTF-16, for one, there is none to be found byte by byte), or an encoding
// declared in which a byte below 128 may be other than that ASCII character
// (Shift_JIS).
std::string WithModuleEntered(const std::string& bytes);

// Enters VYRA_02.dll in the module list `registrationFile`, as WithModuleEntered
// gives it, through a working copy; makes a new list where there is none. A list
// that another program saves (or makes) meanwhile is never replaced: the module
// is entered in what it saved, on a second pass; saved again during that pass,
// it stays as saved. A list that names the module, one it cannot read safely, or
// one larger than kLargestFile (platform.h) stays exactly as it is.
void EnterModule(const std::string& registrationFile);
