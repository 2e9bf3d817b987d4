// The platform operations bound to the Windows API and the C runtime.
#include <dwmapi.h>
#include <shlwapi.h>
#include <windows.h>

#include <cstdlib>

#include "platform.h"

bool GetEnvironmentValue(const std::string& name, std::string& value) {
  char space[kReadLimit];
  SetLastError(ERROR_SUCCESS);
  DWORD length = GetEnvironmentVariableA(name.c_str(), space, kReadLimit);
  // Unset, or too long to fit: the space holds nothing defined.
  if (length >= kReadLimit) return false;
  if (length == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) return false;
  value.assign(space, length);
  return true;
}

bool PathExists(const std::string& path) { return PathFileExistsA(path.c_str()) == 1; }

std::string ReadIniString(const std::string& section, const std::string& key,
                          const std::string& fallback, const std::string& path) {
  if (path.empty()) return fallback;
  char space[kReadLimit];
  DWORD length = GetPrivateProfileStringA(section.c_str(), key.c_str(), fallback.c_str(), space,
                                          kReadLimit, path.c_str());
  return std::string(space, length);
}

unsigned ReadIniInt(const std::string& section, const std::string& key, int fallback,
                    const std::string& path) {
  if (path.empty()) return fallback;
  return GetPrivateProfileIntA(section.c_str(), key.c_str(), fallback, path.c_str());
}

void WriteIniString(const std::string& section, const std::string& key, const std::string& value,
                    const std::string& path) {
  if (path.empty()) return;
  WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), path.c_str());
}

bool IsCompositionEnabled() {
  BOOL enabled = FALSE;
  return SUCCEEDED(DwmIsCompositionEnabled(&enabled)) && enabled;
}

bool TextEquals(const wchar_t* a, const wchar_t* b) { return StrCmpW(a, b) == 0; }

void RunCommand(const std::string& command) { std::system(command.c_str()); }
