// The readers, the folder lookup and the check, through the real Windows binding.
#include "simconfig.h"

#include <gtest/gtest.h>

#include "check.h"
#include "harness.h"

namespace {

// A fresh APPDATA whose simulator folder holds `cfg`; LOCALAPPDATA unset.
std::string UseConfig(const std::string& cfg) {
  std::string appdata = NewFolder();
  SetFolders(appdata.c_str(), nullptr);
  return MakeSimulatorFolder(appdata, cfg) + "\\Prepar3D.cfg";
}

const char* const kAero = "Please enable Aero.  Otherwise dialogs may not display correctly.";

}  // namespace

// First: the one instance is loaded on the first request in this process.
TEST(PluginSettings, AreLoadedOnceAndShared) {
  UseConfig("[VYRA]\nZoom=0\nAsync=true\nWorldScale=1.5\nVignette=yes\n");
  PluginSettings& first = GetPluginSettings();
  UseConfig("");
  EXPECT_EQ(&GetPluginSettings(), &first);
  EXPECT_FALSE(first.zoom || first.vignette);
  EXPECT_TRUE(first.async);
  EXPECT_EQ(first.worldScale, 1.5f);
}

TEST(ConfigReaders, ReadTextBooleanAndNumberLikeTheSimulator) {
  struct {
    const char* line;
    const char* text;
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
    UseConfig(std::string("[VYRA]\r\n") + c.line + "\r\n");
    EXPECT_EQ(ReadConfigString("VYRA", "Value", "dflt"), c.text) << c.line;
    EXPECT_EQ(ReadConfigBool("VYRA", "Value", true), c.flag) << c.line;
    EXPECT_EQ(ReadConfigFloat("VYRA", "Value", 7.25f), c.number) << c.line;
  }
}

TEST(SimulatorFolder, IsTheFirstCandidateThatHoldsTheFile) {
  enum Value { kFolder, kFolderSlash, kUnset, kEmpty, kTooLong };
  struct {
    Value appdata;
    bool inAppdata, inLocal;
    char found;  // 'A', 'L' or '-' for none
  } cases[] = {
      {kFolder, true, true, 'A'},      {kFolder, false, true, 'L'}, {kFolder, false, false, '-'},
      {kFolderSlash, true, true, 'A'}, {kUnset, false, true, 'L'},  {kEmpty, false, true, 'L'},
      {kTooLong, false, true, 'L'},    {kUnset, false, false, '-'},
  };
  for (const auto& c : cases) {
    std::string appdata = NewFolder("Roaming"), local = NewFolder("Local");
    std::string simFolder = appdata + (c.appdata == kFolderSlash ? "\\" : "") + "\\Lockheed Martin";
    CreateDirectoryA(simFolder.c_str(), nullptr);  // present, but without the file
    if (c.inAppdata) MakeSimulatorFolder(appdata + (c.appdata == kFolderSlash ? "\\" : ""), "");
    if (c.inLocal) MakeSimulatorFolder(local, "");
    std::string value = c.appdata == kTooLong       ? appdata + std::string(1100, 'x')
                        : c.appdata == kFolderSlash ? appdata + "\\"
                                                    : appdata;
    SetFolders(c.appdata == kUnset   ? nullptr
               : c.appdata == kEmpty ? ""
                                     : value.c_str(),
               local.c_str());
    std::string expected =
        c.found == '-' ? "" : (c.found == 'A' ? value : local) + "\\Lockheed Martin\\Prepar3D v2";
    EXPECT_EQ(FindSimulatorFolder(), expected) << c.appdata << c.inAppdata << c.inLocal;
    EXPECT_EQ(GetSimulatorConfigPath(), expected.empty() ? "" : expected + "\\Prepar3D.cfg");
  }
}

TEST(SettingsCheck, CorrectsWhatThePlugInNeedsAndSaysSo) {
  // Wine reports desktop composition as off, so the Aero message is always there.
  const char *hdr = "You must disable HDR Lighting to use VYRA!",
             *full1 = "Please disable full-screen mode.",
             *full2 = "It causes poor performance and distortion",
             *mute = "Please disable mute on lost focus";
  struct {
    const char* cfg;
    AdvisoryList advice;
    const char *hdr, *fullScreen, *mute, *vsync;  // afterwards
  } cases[] = {
      {"[GRAPHICS]\nHDR=2\n[Display]\nFullScreen=True\nVSYNC=1\n[USERINTERFACE]\n"
       "MUTE_ON_LOST_FOCUS=1\n",
       {hdr, kAero, full1, full2, mute, "Turn off V-Sync when using asynchronous timewarp"},
       "0",
       "False",
       "0",
       "0"},
      {"", {kAero, full1, full2, mute}, "<absent>", "False", "0", "<absent>"},
      {"[Display]\nFullScreen=1\n[USERINTERFACE]\nMUTE_ON_LOST_FOCUS=0\n",
       {kAero, full1, full2},
       "<absent>",
       "False",
       "0",
       "<absent>"},
      {"[GRAPHICS]\nHDR=0\n[Display]\nFullScreen=true\nVSYNC=0\n[USERINTERFACE]\n"
       "MUTE_ON_LOST_FOCUS=0\n",
       {kAero},
       "0",
       "true",
       "0",
       "0"},
      {"[Display]\nFullScreen=\n[USERINTERFACE]\nMUTE_ON_LOST_FOCUS=0\n",
       {kAero},
       "<absent>",
       "",
       "0",
       "<absent>"},
  };
  for (const auto& c : cases) {
    std::string cfg = UseConfig(c.cfg);
    EXPECT_EQ(CheckSimulatorSettings(), c.advice) << c.cfg;
    EXPECT_EQ(Value(cfg, "GRAPHICS", "HDR"), c.hdr);
    EXPECT_EQ(Value(cfg, "Display", "FullScreen"), c.fullScreen);
    EXPECT_EQ(Value(cfg, "USERINTERFACE", "MUTE_ON_LOST_FOCUS"), c.mute);
    EXPECT_EQ(Value(cfg, "Display", "VSYNC"), c.vsync);

    // A second run finds nothing left to correct and leaves every byte alone.
    std::string corrected = ReadText(cfg);
    EXPECT_EQ(CheckSimulatorSettings(), AdvisoryList{kAero});
    EXPECT_EQ(ReadText(cfg), corrected);
  }
}

TEST(SettingsCheck, WithoutASimulatorFolderWritesNothing) {
  SetFolders(nullptr, NewFolder().c_str());
  AdvisoryList expected = {kAero, "Please disable full-screen mode.",
                           "It causes poor performance and distortion",
                           "Please disable mute on lost focus"};
  EXPECT_EQ(CheckSimulatorSettings(), expected);
  EXPECT_FALSE(PathFileExistsA("\\Prepar3D.cfg"));
}
