#include <windows.h>

#include "launcher.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
  return RunLauncher(commandLine);
}
