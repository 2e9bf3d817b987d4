// The plug-in's settings from a file without a [VYRA] section. The record is
// loaded once per process, so this test has a process of its own.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>

#include "simconfig.h"

TEST(PluginSettings, TakeTheirDefaultsWithoutAVyraSection) {
  auto appdata = std::filesystem::temp_directory_path() / "vyra" / "plugin-defaults";
  auto folder = appdata / "Lockheed Martin" / "Prepar3D v2";
  std::filesystem::create_directories(folder);
  std::ofstream(folder / "Prepar3D.cfg") << "[Display]\nVSYNC=1\n";
  SetEnvironmentVariableA("APPDATA", appdata.string().c_str());

  const PluginSettings& settings = GetPluginSettings();
  EXPECT_TRUE(settings.zoom);
  EXPECT_TRUE(settings.async);
  EXPECT_TRUE(settings.vignette);
  EXPECT_EQ(settings.worldScale, 1.0f);
}
