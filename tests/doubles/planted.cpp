// Stands in for a file that someone left beside the launcher, under the name of
// one that Windows or the shell loads (dwmapi.dll, shcore.dll, ...) or that the
// launcher starts (cscript.exe): a process that loads it leaves the file
// NAME-was-loaded in its current folder, and run, it leaves NAME-was-run. As a
// library, it answers the composition query as Windows with composition on would.
#include <windows.h>

#include <fstream>
#include <string>

static void LeaveTrace(HMODULE self, const char* what) {
  char path[MAX_PATH];
  if (!GetModuleFileNameA(self, path, MAX_PATH)) return;
  std::string name = path;
  std::ofstream(name.substr(name.rfind('\\') + 1) + what);
}

#ifdef PLANTED_PROGRAM
int main() { LeaveTrace(nullptr, "-was-run"); }
#else
BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) LeaveTrace(self, "-was-loaded");
  return TRUE;
}

extern "C" __declspec(dllexport) HRESULT WINAPI DwmIsCompositionEnabled(BOOL* enabled) {
  *enabled = TRUE;
  return S_OK;
}
#endif
