// Holds Wine's desktop for a test run, as Windows always has one: it asks for
// the desktop window, which makes Wine start its desktop from here, with this
// program's output, says "desktop" on its output, and waits until the Wine
// server ends it. While it waits, Wine does not close the desktop.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  GetDesktopWindow();
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), "desktop\n", 8, &written, nullptr);
  Sleep(INFINITE);
  return 0;
}
