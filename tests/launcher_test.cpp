// The case files of tests/cases (the README tells their form), each run by
// starting VyraLauncher.exe twice in a work folder set up as the case says;
// then what only the launcher's own process sees.
#include <gtest/gtest.h>
#include <process.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "check.h"
#include "simconfig.h"

// A path made from narrow text reads it in the ANSI code page, as the launcher does;
// path::string() gives UTF-8, so Tree's names are compared only with names it spelled.
namespace fs = std::filesystem;

// An empty folder `name` under the temporary folder, emptied if it was there.
static std::string NewFolder(const std::string& name) {
  fs::path folder = fs::temp_directory_path() / "vyra" / name;
  fs::remove_all(folder);
  fs::create_directories(folder);
  return folder.string();
}

// Writes `text` to `path`, making the folders on the way ("...\" makes only folders).
static void WriteText(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

static std::string ReadText(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), {}};
}

// Every entry below `folder` (only in it, with a directory_iterator) and its content.
template <class Entries = fs::recursive_directory_iterator>
static std::map<std::string, std::string> Tree(const std::string& folder) {
  std::map<std::string, std::string> tree;
  for (const auto& entry : Entries(folder))
    tree[entry.path().string()] = entry.is_directory() ? "<folder>" : ReadText(entry.path());
  return tree;
}

// `text` with each %NAME% of a set variable replaced by its value.
static std::string Expand(const std::string& text) {
  static char space[32768];
  return std::string(space, ExpandEnvironmentStringsA(text.c_str(), space, sizeof space) - 1);
}

class Case : public testing::TestWithParam<std::string> {};

TEST_P(Case, Run) {
  std::string work = NewFolder(GetParam()), tail, readOnly, held, line, *text = nullptr;
  std::map<std::string, std::string> before, after;
  for (const char* name : {"APPDATA", "LOCALAPPDATA"}) SetEnvironmentVariableA(name, nullptr);
  SetEnvironmentVariableA("WORK", work.c_str());
  SetEnvironmentVariableA("PATH", BIN_DIR);  // where cmd finds the test doubles
  for (std::ifstream file(TESTS_DIR "cases\\" + GetParam() + ".case"); std::getline(file, line);) {
    line = Expand(line);  // once per line, directive or file text
    std::string word = line.substr(0, line.find(' '));
    std::string rest = line.substr(std::min(line.size(), word.size() + 1));
    size_t data = rest.find(" < "), equals = rest.find('=');
    if (word == "---" || word == "+++") {
      text = &(word == "---" ? before : after)[work + "\\" + rest.substr(0, data)];
      if (data != std::string::npos) *text = ReadText(TESTS_DIR "data\\" + rest.substr(data + 3));
    } else if (text) {
      *text += line + "\r\n";
    } else if (word == "set") {
      SetEnvironmentVariableA(rest.substr(0, equals).c_str(), rest.substr(equals + 1).c_str());
    } else if (word == "command") {
      tail = rest.substr(18);  // after "VyraLauncher.exe" in quotes
    } else if (word == "readonly" || word == "hold") {
      (word == "hold" ? held : readOnly) = work + "\\" + rest;
    } else if (!line.empty() && line[0] != '#') {
      ADD_FAILURE() << "not understood: " << line;
    }
  }
  for (const auto& [path, content] : before) WriteText(path, content);
  SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY);
  auto want = Tree(work), root = Tree<fs::directory_iterator>(work.substr(0, 3));
  // Expected files under their names as Tree spells them.
  for (const auto& [path, content] : after) want[fs::path(path).string()] = content;

  SetCurrentDirectoryA(work.c_str());
  std::string exe = BIN_DIR "VyraLauncher.exe", command = "\"" + exe + "\"" + tail;
  for (int run = 1; run <= 2; ++run) {
    for (const char* log : {"cscript.log", "Prepar3D.log"}) DeleteFileA(log);
    HANDLE hold = CreateFileA(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(_spawnl(_P_WAIT, exe.c_str(), command.c_str(), nullptr), 0) << "run " << run;
    CloseHandle(hold);
    auto got = Tree(work);
    for (const auto& [path, content] : got) EXPECT_TRUE(want.count(path)) << path << " is new";
    for (const auto& [path, bytes] : want) EXPECT_EQ(got[path], bytes) << path << ", run " << run;
    EXPECT_EQ(Tree<fs::directory_iterator>(work.substr(0, 3)), root) << "at the drive's root";
  }
  SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_NORMAL);  // so that it can be removed
}

// CASES names every file of tests/cases without its ".case".
INSTANTIATE_TEST_SUITE_P(Cases, Case, testing::Values(CASES),
                         [](const auto& info) { return info.param; });

// Wine reports desktop composition as off, so the Aero message is always there.
TEST(InProcess, AdvisesInRuleOrderLoadsThePluginSettingsOnceAndReadsNumbers) {
  std::string appdata = NewFolder("in-process");
  WriteText(appdata + "\\Lockheed Martin\\Prepar3D v2\\Prepar3D.cfg",
            "[GRAPHICS]\nHDR=2\n[Display]\nFullScreen=1\nVSYNC=1\n[VYRA]\nZoom=0\nWorldScale=2x\n"
            "a=\nb=1.5\nc=-3e2\nd=.5e\ne=1e39\nf=inf\ng=.\n");
  SetEnvironmentVariableA("APPDATA", appdata.c_str());
  const char* aero = "Please enable Aero.  Otherwise dialogs may not display correctly.";
  const char *full = "Please disable full-screen mode.",
             *mute = "Please disable mute on lost focus";
  const char* why = "It causes poor performance and distortion";
  EXPECT_EQ(CheckSimulatorSettings(),
            (AdvisoryList{"You must disable HDR Lighting to use VYRA!", aero, full, why, mute,
                          "Turn off V-Sync when using asynchronous timewarp"}));
  PluginSettings& settings = GetPluginSettings();
  EXPECT_TRUE(!settings.zoom && settings.async && settings.vignette && settings.worldScale == 2);
  settings.async = false;  // the same instance serves the next checks, now with VSYNC=0
  EXPECT_EQ(CheckSimulatorSettings(),
            (AdvisoryList{aero, "Turn on V-Sync when using synchronous timewarp"}));

  std::string numbers;  // the number at the start of the text, or the default
  for (const char* key : {"a", "b", "c", "d", "e", "f", "g"})
    numbers += std::to_string(ReadConfigFloat("VYRA", key, 7.25f)) + " ";
  EXPECT_EQ(numbers, "7.250000 1.500000 -300.000000 0.500000 7.250000 7.250000 7.250000 ");

  SetEnvironmentVariableA("APPDATA", nullptr);  // no simulator folder: nothing to write to
  EXPECT_EQ(CheckSimulatorSettings(), (AdvisoryList{aero, full, why, mute}));
}
