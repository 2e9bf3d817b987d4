#include "registration.h"

#include "platform.h"

std::string BuildRegistrationCommand(const std::string& registrationFile) {
  return "cscript modify_dlls.vbs \"" + registrationFile + "\" VYRA_02.dll";
}

// The script registers the module wherever it can run, and what it decides
// stands. It cannot where VBScript is turned off or removed (an optional feature
// of Windows since 11 24H2), where the script is not in the current folder, where
// the script host cannot be started, or where the host ends with an error: the
// launcher then enters the module itself. The host's exit code is the script's
// own; what it is when the host finds no engine or no script is not documented,
// so those two are looked at first, as the host would look.
void RegisterModule(const std::string& registrationFile) {
  unsigned long exitCode = 1;
  bool ran = ScriptEngineRegistered(".vbs") && PathExists("modify_dlls.vbs") &&
             RunCommand(BuildRegistrationCommand(registrationFile), exitCode) && exitCode == 0;
  if (!ran) EnterModule(registrationFile);
}
