#include "registration.h"

#include "platform.h"

std::string BuildRegistrationCommand(const std::string& registrationFile) {
  return "cscript modify_dlls.vbs \"" + registrationFile + "\" VYRA_02.dll";
}

// What the module list shows decides, not what the script host says: the host's
// exit code is the script's own, and a host switched off (the script host's
// Enabled setting), a policy that refuses an unsigned script, an antivirus that
// ends the host or a script that fails can all leave the module out with 0. So
// the list is read again after every run of the script. The host is not started
// where it can only fail: without VBScript's engine registered as the host looks
// for it (VBScript is an optional feature of Windows since 11 24H2), or without
// the script in the current folder. It is the system folder's, never one that
// the launcher's folder or the current folder holds.
void RegisterModule(const std::string& registrationFile) {
  if (ScriptEngineRegistered(".vbs") && PathExists("modify_dlls.vbs"))
    RunSystemProgram("cscript.exe", BuildRegistrationCommand(registrationFile));
  EnterModule(registrationFile);
}
