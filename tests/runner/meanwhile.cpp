// The directives that act around each run: a registration or a program taken
// away. Each is one unit: it starts its work before the launchers start, and
// hands back what ends it, which puts back what it took.
#include <gtest/gtest.h>

#include "case.h"

// unregister KEY: removes the key KEY of HKEY_CLASSES_ROOT, which holds a default
// value and no key below it, while each run goes on, as Windows does when it
// removes what registered it; then puts it back. The registry is the Wine
// prefix's, so such a case runs alone; a run cut short leaves the key out until
// the prefix is made anew.
bool Unregister(CaseFile& c, const std::string& rest) {
  const std::wstring key = Wide(rest);
  const int line = c.line;
  c.around.push_back([=](const CaseFile& run) {
    std::wstring value(MAX_PATH, L'\0');
    DWORD size = value.size() * sizeof(wchar_t);
    RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, &value[0], &size);
    value.resize(size / sizeof(wchar_t) - 1);
    if (RegDeleteKeyW(HKEY_CLASSES_ROOT, key.c_str()))
      FAIL_AT_LINE(run, line) << "cannot remove HKEY_CLASSES_ROOT\\" << rest;
    return [key, value] {
      RegSetKeyValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, REG_SZ, value.c_str(),
                      (value.size() + 1) * sizeof(wchar_t));
    };
  });
  return true;
}

// quarantine NAME: the program NAME of the system folder, where the launcher
// starts the script host from, is moved aside while each run goes on, as an
// antivirus does with a file it puts in quarantine, and put back after. Wine
// then refuses to start it, as Windows does. The system folder is the prefix's
// (this 32-bit process sees the one the launcher sees), so such a case runs
// alone; a run cut short leaves the program aside until the next test run puts
// it back.
bool Quarantine(CaseFile& c, const std::string& rest) {
  std::wstring program(MAX_PATH, L'\0');
  program.resize(GetSystemDirectoryW(&program[0], program.size()));
  program += L"\\" + Wide(rest);
  const std::wstring aside = program + L".quarantined";
  const int line = c.line;
  c.around.push_back([=](const CaseFile& run) {
    if (!MoveFileExW(program.c_str(), aside.c_str(), MOVEFILE_REPLACE_EXISTING))
      FAIL_AT_LINE(run, line) << "cannot put " << Utf8(program) << " in quarantine";
    return [=] { MoveFileExW(aside.c_str(), program.c_str(), MOVEFILE_REPLACE_EXISTING); };
  });
  return true;
}
