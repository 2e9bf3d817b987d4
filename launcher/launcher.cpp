#include "launcher.h"

#include "check.h"
#include "platform.h"
#include "simconfig.h"

std::string BuildRegistrationCommand(const std::string& registrationFile) {
  return "cscript modify_dlls.vbs \"" + registrationFile + "\" VYRA_02.dll";
}

int RunLauncher(const wchar_t* commandLine) {
  CheckSimulatorSettings();  // what it advises is not shown: the launcher is silent

  // Without a simulator folder there is no dll.xml to register the module in.
  const std::string folder = FindSimulatorFolder();
  if (!folder.empty()) RunCommand(BuildRegistrationCommand(folder + "\\dll.xml"));

  if (!TextEquals(commandLine, L"config")) RunCommand("Prepar3D.exe");
  return 0;
}
