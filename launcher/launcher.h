// One run of the launcher: settings check, module registration, simulator start.
#pragma once

#include <string>

// `cscript modify_dlls.vbs "<path>" VYRA_02.dll`: the path in one pair of quotes.
std::string BuildRegistrationCommand(const std::string& registrationFile);

// Runs the three stages for the command-line text and returns the exit code, 0.
int RunLauncher(const wchar_t* commandLine);
