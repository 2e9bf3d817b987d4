// What only the launcher's own process sees, or can time.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "case.h"
#include "check.h"
#include "launcher.h"
#include "platform.h"
#include "registration.h"
#include "seam.h"
#include "simconfig.h"

// clang-format off
#include <aclapi.h>  // after windows.h, which case.h brings
#include <sddl.h>
// clang-format on

// A settings folder of its own below Wine's temporary folder, named APPDATA.
static std::string SettingsFolder(const std::string& name, const std::string& text) {
  std::string appdata = NewFolder((fs::temp_directory_path() / "vyra" / name).string());
  WriteText(appdata + "\\Lockheed Martin\\Prepar3D v2\\Prepar3D.cfg", text);
  SetEnvironmentVariableA("APPDATA", appdata.c_str());
  return appdata;
}

constexpr char kAero[] = "Please enable Aero.  Otherwise dialogs may not display correctly.";

// The advice `advice`, without the Aero message where desktop composition is on,
// as the system folder's dwmapi.dll tells this test (Wine 8 says off, Wine 10 on).
static AdvisoryList Expected(AdvisoryList advice) {
  BOOL on = FALSE;
  HMODULE dwmapi = LoadLibraryExW(L"dwmapi.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  auto query = (HRESULT(WINAPI*)(BOOL*))(void*)GetProcAddress(dwmapi, "DwmIsCompositionEnabled");
  if (query && SUCCEEDED(query(&on)) && on)
    advice.erase(std::remove(advice.begin(), advice.end(), kAero), advice.end());
  return advice;
}

// The first check of the process loads dwmapi.dll from the system folder, not the
// one planted beside this test (doubles/planted.cpp), which would leave its trace,
// and the plug-in's settings, each of whose reads another program refuses once.
TEST(InProcess, AdvisesInRuleOrderLoadsThePluginSettingsOnceAndReadsNumbers) {
  SetCurrentDirectoryA(
      SettingsFolder("in-process",
                     "[GRAPHICS]\nHDR=2\n[Display]\nFullScreen=1\nVSYNC=1\n[VYRA]\n"
                     "Zoom=0\nWorldScale=2x\na=\nb=1.5\nc=-3e2\nd=.5e\ne=1e39\nf=inf\ng=.\n")
          .c_str());
  const char* full = "Please disable full-screen mode.";
  const char* mute = "Please disable mute on lost focus";
  const char* why = "It causes poor performance and distortion";
  int reads = 0;
  seamHook = [&reads](Access& access, Answer& answer) {
    return access.section == "VYRA" && reads++ % 2 == 0 && (answer = kSharingViolation, true);
  };
  const AdvisoryList advice = CheckSimulatorSettings();
  seamHook = nullptr;
  EXPECT_FALSE(PathExists("dwmapi.dll-was-loaded"));
  EXPECT_EQ(advice, Expected({"You must disable HDR Lighting to use VYRA!", kAero, full, why, mute,
                              "Turn off V-Sync when using asynchronous timewarp"}));
  PluginSettings& settings = GetPluginSettings();
  EXPECT_TRUE(!settings.zoom && settings.async && settings.vignette && settings.worldScale == 2);
  settings.async = false;  // the same instance serves the next checks, now with VSYNC=0
  EXPECT_EQ(CheckSimulatorSettings(),
            Expected({kAero, "Turn on V-Sync when using synchronous timewarp"}));

  std::string numbers;  // the number at the start of the text, or the default
  for (const char* key : {"a", "b", "c", "d", "e", "f", "g"})
    numbers += std::to_string(ReadConfigFloat("VYRA", key, 7.25f)) + " ";
  EXPECT_EQ(numbers, "7.250000 1.500000 -300.000000 0.500000 7.250000 7.250000 7.250000 ");

  SetEnvironmentVariableA("APPDATA", nullptr);  // no simulator folder: nothing to write to
  EXPECT_EQ(CheckSimulatorSettings(), Expected({kAero, full, why, mute}));
}

// A launcher whose turn does not come within the bound edits nothing, runs no
// registration and starts the simulator. A thread holds the turn far beyond the
// bound: a launcher that waited longer would take the turn then and correct.
// The turn's access list lets everyone wait for it and give it back, and no more.
TEST(InProcess, GivesUpWaitingForTheTurnAfterTheBoundAndOnlyStarts) {
  constexpr unsigned kBoundMs = 200, kHeldMs = 2000;
  std::string work = SettingsFolder("turn-bound", "[GRAPHICS]\r\nHDR=1\r\n");
  SetCurrentDirectoryA(work.c_str());
  Tree want = Below(work);
  want[work + "\\Prepar3D.log"] = {"[" BIN_DIR "Prepar3D.exe]\r\n"};  // once the turn was free

  HANDLE taken = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::thread holder([taken] {
    void* turn = TakeTurn(kTurnName, INFINITE);  // once other cases' launchers are done
    SetEvent(taken);
    Sleep(kHeldMs);
    GiveBackTurn(turn);
  });
  WaitForSingleObject(taken, INFINITE);
  HANDLE turn = OpenMutexA(READ_CONTROL, FALSE, kTurnName);
  char* accessList = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  GetSecurityInfo(turn, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr,
                  nullptr, &descriptor);
  ConvertSecurityDescriptorToStringSecurityDescriptorA(
      descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &accessList, nullptr);
  EXPECT_STREQ(accessList, "D:(A;;0x100001;;;WD)");
  LocalFree(accessList);
  LocalFree(descriptor);
  CloseHandle(turn);
  EXPECT_EQ(RunLauncher(L"", kBoundMs), 0);
  holder.join();
  EXPECT_EQ(Below(work), want);
  SetEnvironmentVariableA("APPDATA", nullptr);
}

// The variable reader: an unset variable, or one whose value does not fit in
// the space handed to the platform, gives false and leaves the value alone.
TEST(InProcess, ReadsAVariableOnlyWhenItIsSetAndFits) {
  // The value's length (-1: unset), and whether it is read.
  for (const auto& [length, found] :
       {std::pair{-1, false}, {0, true}, {1022, true}, {1023, false}, {1500, false}}) {
    std::string set(std::max(length, 0), 'x'), value = "untouched";
    SetEnvironmentVariableA("VYRA_TEST", length < 0 ? nullptr : set.c_str());
    EXPECT_EQ(GetEnvironmentValue("VYRA_TEST", value), found) << length;
    EXPECT_EQ(value, found ? set : "untouched") << length;
  }
}

// A module list or a settings file of more than 1 MB, larger than any a simulator
// has, is not read, and stays as it is; the binding's read answers so, where the
// profile functions would read it.
TEST(InProcess, LeavesFilesTooLargeToReadAsTheyAre) {
  const std::string folder = NewFolder((fs::temp_directory_path() / "vyra" / "lists").string());
  const std::string list = folder + "\\dll.xml";
  const std::string root = "<SimBase.Document>\r\n</SimBase.Document>\r\n";
  const std::string large = std::string((1 << 20) + 1 - root.size(), ' ') + root;
  WriteText(list, large);
  EnterModule(list);
  EXPECT_EQ(ReadText(list), large);
  EXPECT_EQ(Below(folder).size(), 1u);
  const std::string rules = "[GRAPHICS]\r\nHDR=1\r\n";
  const std::string settings = rules + std::string((1 << 20) + 1 - rules.size(), ';');
  const std::string appdata = SettingsFolder("large-settings", settings);
  const std::string file = appdata + "\\Lockheed Martin\\Prepar3D v2\\Prepar3D.cfg";
  CheckSimulatorSettings();
  EXPECT_EQ(Below(appdata + "\\Lockheed Martin\\Prepar3D v2").size(), 1u);
  EXPECT_EQ(ReadText(file), settings);
  SetEnvironmentVariableA("APPDATA", nullptr);
  std::string value;
  EXPECT_EQ(win32::ReadIniText("GRAPHICS", "HDR", "", file, value), kFileTooLarge);
}

// The plug-in's settings where its reads give nothing: a file without a [VYRA]
// section, each plug-in read of which another program refuses for good, in a
// process of its own, as a death test's statement runs (the record is loaded once
// a process). A refused read tells nothing, so the file then stays as it was. It
// ends with what it found: 0 for every default and the file unchanged.
TEST(InProcess, LoadsThePluginDefaultsWhereItsReadsGiveNothing) {
  EXPECT_EXIT(
      {
        const std::string text = "[Display]\r\nVSYNC=1\r\n";
        const std::string appdata = SettingsFolder("plugin-defaults", text);
        seamPauses = false;
        seamHook = [](Access& access, Answer& answer) {
          return access.section == "VYRA" && (answer = kSharingViolation, true);
        };
        CheckSimulatorSettings();
        const PluginSettings& s = GetPluginSettings();
        const bool changed =
            ReadText(appdata + "\\Lockheed Martin\\Prepar3D v2\\Prepar3D.cfg") != text;
        std::exit((!s.zoom) | (!s.async) << 1 | (!s.vignette) << 2 | (s.worldScale != 1.0f) << 3 |
                  changed << 4);
      },
      testing::ExitedWithCode(0), "")
      << "1: Zoom, 2: Async, 4: Vignette, 8: WorldScale, 16: the file changed";
}
