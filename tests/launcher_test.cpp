// The case files of tests/cases (the README tells their form), each run by
// starting VyraLauncher.exe twice in a work folder set up as the case says;
// then what only the launcher's own process sees.
#include <gtest/gtest.h>
#include <process.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "check.h"
#include "simconfig.h"

namespace {

const std::string kTests = TESTS_DIR, kBin = BIN_DIR;  // as Windows names them

// An empty folder `name` under the temporary folder, emptied if it was there.
std::string NewFolder(const std::string& name) {
  auto folder = std::filesystem::temp_directory_path() / "vyra" / name;
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  return folder.string();
}

// Writes `text` to `path`, making the folders on the way.
void WriteText(const std::string& path, const std::string& text) {
  for (size_t at = 3; (at = path.find('\\', at + 1)) != std::string::npos;)
    CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
  std::ofstream(path, std::ios::binary) << text;
}

std::string ReadText(const std::string& path) {
  std::ostringstream text;
  text << std::ifstream(path, std::ios::binary).rdbuf();
  return text.str();
}

// Every file below `folder` (only in it, unless `deep`) with its content; folders read "<folder>".
std::map<std::string, std::string> Tree(const std::string& folder, bool deep = true) {
  std::map<std::string, std::string> tree;
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return tree;
  do {
    std::string name = entry.cFileName, path = folder + "\\" + name;
    if (name == "." || name == "..") continue;
    bool isFolder = entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
    tree[path] = isFolder ? "<folder>" : ReadText(path);
    if (isFolder && deep) tree.merge(Tree(path));
  } while (FindNextFileA(find, &entry));
  FindClose(find);
  return tree;
}

// `text` with each %NAME% of a set variable replaced by its value.
std::string Expand(const std::string& text) {
  static char space[32768];
  return std::string(space, ExpandEnvironmentStringsA(text.c_str(), space, sizeof space) - 1);
}

std::vector<std::string> CaseNames() {
  std::vector<std::string> names;
  for (const auto& file : std::filesystem::directory_iterator(kTests + "cases"))
    names.push_back(file.path().stem().string());
  return names;
}

class Case : public testing::TestWithParam<std::string> {};

}  // namespace

TEST_P(Case, Run) {
  std::string work = NewFolder(GetParam()), tail, readOnly, held, *text = nullptr;
  std::map<std::string, std::string> before, after;
  SetEnvironmentVariableA("APPDATA", nullptr);
  SetEnvironmentVariableA("LOCALAPPDATA", nullptr);
  SetEnvironmentVariableA("WORK", work.c_str());
  std::ifstream file(kTests + "cases\\" + GetParam() + ".case", std::ios::binary);
  for (std::string line; std::getline(file, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::string word = line.substr(0, line.find(' '));
    std::string rest = Expand(line.substr(std::min(line.size(), word.size() + 1)));
    size_t data = rest.find(" < ");
    if (word == "---" || word == "+++") {
      text = &(word == "---" ? before : after)[work + "\\" + rest.substr(0, data)];
      if (data != std::string::npos) *text = ReadText(kTests + "data\\" + rest.substr(data + 3));
    } else if (text) {
      *text += Expand(line) + "\r\n";
    } else if (word == "set") {
      SetEnvironmentVariableA(rest.substr(0, rest.find('=')).c_str(),
                              rest.substr(rest.find('=') + 1).c_str());
    } else if (word == "command") {
      tail = rest.substr(18);  // after "VyraLauncher.exe" in quotes
    } else if (word == "readonly" || word == "hold") {
      (word == "hold" ? held : readOnly) = work + "\\" + rest;
    } else if (!line.empty() && line[0] != '#') {
      ADD_FAILURE() << "not understood: " << line;
    }
  }
  for (const auto& [path, content] : before) WriteText(path, content);  // "...\" makes a folder
  SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY);
  for (const char* exe : {"cscript.exe", "Prepar3D.exe"})
    CopyFileA((kBin + exe).c_str(), (work + "\\" + exe).c_str(), FALSE);
  auto want = Tree(work), root = Tree(work.substr(0, 2), false);
  for (const auto& [path, content] : after) want[path] = content;

  SetCurrentDirectoryA(work.c_str());
  for (int run = 1; run <= 2; ++run) {
    for (const char* log : {"cscript.log", "Prepar3D.log"}) DeleteFileA(log);
    HANDLE hold = CreateFileA(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    std::string exe = kBin + "VyraLauncher.exe", command = "\"" + exe + "\"" + tail;
    EXPECT_EQ(_spawnl(_P_WAIT, exe.c_str(), command.c_str(), nullptr), 0) << "run " << run;
    CloseHandle(hold);
    auto got = Tree(work);
    for (const auto& [path, content] : got) EXPECT_TRUE(want.count(path)) << path << " is new";
    for (const auto& [path, content] : want) EXPECT_EQ(got[path], content) << path << ", run " << run;
    EXPECT_TRUE(Tree(work.substr(0, 2), false) == root) << "the drive's root changed";
  }
  SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_NORMAL);  // so that it can be removed
}

INSTANTIATE_TEST_SUITE_P(Cases, Case, testing::ValuesIn(CaseNames()),
                         [](const auto& info) { return info.param; });

// Points APPDATA at a new folder whose simulator folder holds `cfg`.
static void UseConfig(const std::string& cfg) {
  static int count = 0;
  std::string appdata = NewFolder("in-process-" + std::to_string(++count));
  WriteText(appdata + "\\Lockheed Martin\\Prepar3D v2\\Prepar3D.cfg", cfg);
  SetEnvironmentVariableA("APPDATA", appdata.c_str());
  SetEnvironmentVariableA("LOCALAPPDATA", nullptr);
}

// Wine reports desktop composition as off, so the Aero message is always there.
TEST(InProcess, AdvisesInRuleOrderAndLoadsThePluginSettingsOnce) {
  const char *aero = "Please enable Aero.  Otherwise dialogs may not display correctly.",
             *mute = "Please disable mute on lost focus";
  UseConfig("[GRAPHICS]\nHDR=2\n[Display]\nFullScreen=1\nVSYNC=1\n[VYRA]\nZoom=0\nWorldScale=2x\n");
  EXPECT_EQ(CheckSimulatorSettings(),
            (AdvisoryList{"You must disable HDR Lighting to use VYRA!", aero,
                          "Please disable full-screen mode.",
                          "It causes poor performance and distortion", mute,
                          "Turn off V-Sync when using asynchronous timewarp"}));
  PluginSettings& settings = GetPluginSettings();
  EXPECT_TRUE(!settings.zoom && settings.async && settings.vignette && settings.worldScale == 2);

  settings.async = false;  // now synchronous timewarp
  UseConfig("[Display]\nFullScreen=0\nVSYNC=0\n[VYRA]\nZoom=1\n");
  EXPECT_EQ(CheckSimulatorSettings(),
            (AdvisoryList{aero, mute, "Turn on V-Sync when using synchronous timewarp"}));
  EXPECT_EQ(&GetPluginSettings(), &settings);
  EXPECT_FALSE(settings.zoom);  // not read again
}

TEST(InProcess, ReadsTheNumberAtTheStartOrTheDefault) {
  std::pair<const char*, float> rows[] = {{"", 7.25f},   {"1.5", 1.5f},   {"-3e2", -300},
                                          {".5e", 0.5f}, {"1e39", 7.25f}, {"inf", 7.25f},
                                          {".", 7.25f},  {"x1", 7.25f}};
  for (auto [value, number] : rows) {
    UseConfig("[VYRA]\nValue=" + std::string(value));
    EXPECT_EQ(ReadConfigFloat("VYRA", "Value", 7.25f), number) << value;
  }
}
