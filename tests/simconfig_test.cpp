// The readers and the check against real files and variables, in-process.
#include "simconfig.h"

#include <gtest/gtest.h>

#include "check.h"
#include "harness.h"

namespace {

// A fresh APPDATA whose simulator folder holds `cfg`; none when `cfg` is null.
std::string UseConfig(const char* cfg) {
  std::string appdata = NewFolder();
  SetFolders(cfg ? appdata.c_str() : nullptr, nullptr);
  return cfg ? MakeSimulatorFolder(appdata, cfg) + "\\Prepar3D.cfg" : "\\Prepar3D.cfg";
}

}  // namespace

// First: the one instance is loaded on the first request in this process.
TEST(PluginSettings, AreLoadedOnceAndShared) {
  UseConfig("[VYRA]\nZoom=0\nAsync=true\nWorldScale=1.5\nVignette=yes\n");
  PluginSettings& first = GetPluginSettings();
  UseConfig("");
  EXPECT_EQ(&GetPluginSettings(), &first);
  EXPECT_TRUE(!first.zoom && first.async && !first.vignette && first.worldScale == 1.5f);
}

TEST(ConfigReaders, ReadTextBooleanAndNumberLikeTheSimulator) {
  struct {
    const char *line, *text;
    bool flag;     // read with the default true
    float number;  // read with the default 7.25
  } cases[] = {
      {"", "dflt", true, 7.25f},           {"Value=", "", false, 7.25f},
      {"Value=True", "True", true, 7.25f}, {"Value=true", "true", true, 7.25f},
      {"Value=1", "1", true, 1.0f},        {"Value=TRUE", "TRUE", false, 7.25f},
      {"Value=yes", "yes", false, 7.25f},  {"Value=1.5", "1.5", false, 1.5f},
      {"Value=2x", "2x", false, 2.0f},     {"Value=-3e2", "-3e2", false, -300.0f},
      {"Value=.5e", ".5e", false, 0.5f},   {"Value=1e39", "1e39", false, 7.25f},
      {"Value=inf", "inf", false, 7.25f},  {"Value=.", ".", false, 7.25f},
  };
  for (const auto& c : cases) {
    UseConfig((std::string("[VYRA]\r\n") + c.line + "\r\n").c_str());
    EXPECT_EQ(ReadConfigString("VYRA", "Value", "dflt"), c.text) << c.line;
    EXPECT_EQ(ReadConfigBool("VYRA", "Value", true), c.flag) << c.line;
    EXPECT_EQ(ReadConfigFloat("VYRA", "Value", 7.25f), c.number) << c.line;
  }
}

TEST(SettingsCheck, SaysWhatItCorrectsInRuleOrder) {
  // Wine reports desktop composition as off: the Aero message is always there.
  const char *aero = "Please enable Aero.  Otherwise dialogs may not display correctly.",
             *full = "Please disable full-screen mode.",
             *why = "It causes poor performance and distortion",
             *mute = "Please disable mute on lost focus";
  struct {
    const char* cfg;
    AdvisoryList advice;
  } cases[] = {
      {"[GRAPHICS]\nHDR=2\n[Display]\nFullScreen=1\nVSYNC=1\n",
       {"You must disable HDR Lighting to use VYRA!", aero, full, why, mute,
        "Turn off V-Sync when using asynchronous timewarp"}},
      {"[Display]\nFullScreen=true\n[USERINTERFACE]\nMUTE_ON_LOST_FOCUS=0\n", {aero}},
      {"[Display]\nFullScreen=\n", {aero, mute}},
      {nullptr, {aero, full, why, mute}},  // no simulator folder
  };
  for (const auto& c : cases) {
    std::string cfg = UseConfig(c.cfg);
    EXPECT_EQ(CheckSimulatorSettings(), c.advice) << c.cfg;
    if (!c.cfg) continue;
    std::string corrected = ReadText(cfg);
    EXPECT_EQ(CheckSimulatorSettings(), AdvisoryList{aero});  // nothing left to correct
    EXPECT_EQ(ReadText(cfg), corrected);
  }
  EXPECT_FALSE(PathFileExistsA("\\Prepar3D.cfg"));
}
