// Stands in for a library that someone left beside the launcher, under the name
// of one that Windows or the shell may load (dwmapi.dll, shcore.dll, ...): when
// a process loads it, it leaves the file NAME-was-loaded in the current folder.
// It answers the composition query as Windows with composition on would.
#include <windows.h>

#include <fstream>
#include <string>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
  char path[MAX_PATH];
  if (reason == DLL_PROCESS_ATTACH && GetModuleFileNameA(self, path, MAX_PATH)) {
    std::string name = path;
    std::ofstream(name.substr(name.rfind('\\') + 1) + "-was-loaded");
  }
  return TRUE;
}

extern "C" __declspec(dllexport) HRESULT WINAPI DwmIsCompositionEnabled(BOOL* enabled) {
  *enabled = TRUE;
  return S_OK;
}
