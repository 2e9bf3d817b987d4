#include <windows.h>

#include "launcher.h"
#include "platform.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
  LoadLibrariesFromSystemFolderOnly();
  return RunLauncher(commandLine);
}
