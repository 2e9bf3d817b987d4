// Stands in for a dwmapi.dll that someone left beside the launcher: when a
// process loads it, it leaves the file dwmapi-was-loaded in the current folder.
// It answers the composition query as Windows with composition on would.
#include <windows.h>

#include <cstdio>

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH)
    if (std::FILE* marker = std::fopen("dwmapi-was-loaded", "w")) std::fclose(marker);
  return TRUE;
}

extern "C" __declspec(dllexport) HRESULT WINAPI DwmIsCompositionEnabled(BOOL* enabled) {
  *enabled = TRUE;
  return S_OK;
}
