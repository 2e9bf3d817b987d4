// Real files and real environment variables for the tests.
#pragma once

#include <shlwapi.h>
#include <windows.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>

// A new empty folder under the temporary folder, with `name` as its last part.
inline std::string NewFolder(const std::string& name = "case") {
  static unsigned counter = GetTickCount();
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  std::string folder;
  do folder = std::string(temp) + "vyra-" + std::to_string(++counter);
  while (!CreateDirectoryA(folder.c_str(), nullptr));
  folder += "\\" + name;
  CreateDirectoryA(folder.c_str(), nullptr);
  return folder;
}

inline void WriteText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

inline std::string ReadText(const std::string& path) {
  std::ostringstream text;
  text << std::ifstream(path, std::ios::binary).rdbuf();
  return text.str();
}

// The simulator folder under `parent`, holding `cfg` as Prepar3D.cfg.
inline std::string MakeSimulatorFolder(const std::string& parent, const std::string& cfg) {
  std::string folder = parent + "\\Lockheed Martin";
  CreateDirectoryA(folder.c_str(), nullptr);
  folder += "\\Prepar3D v2";
  CreateDirectoryA(folder.c_str(), nullptr);
  WriteText(folder + "\\Prepar3D.cfg", cfg);
  return folder;
}

inline std::string Value(const std::string& cfg, const char* section, const char* key) {
  char space[2048];
  GetPrivateProfileStringA(section, key, "-", space, sizeof space, cfg.c_str());
  return space;
}

// Sets both folder variables of this process; nullptr unsets one.
inline void SetFolders(const char* appdata, const char* localAppdata) {
  SetEnvironmentVariableA("APPDATA", appdata);
  SetEnvironmentVariableA("LOCALAPPDATA", localAppdata);
}

// Every file in `folder` (and below, when `deep`) with its content; folders
// are marked "<folder>".
inline std::map<std::string, std::string> Tree(const std::string& folder, bool deep = true) {
  std::map<std::string, std::string> tree;
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return tree;
  do {
    std::string name = entry.cFileName, path = folder + "\\" + name;
    if (name == "." || name == "..") continue;
    if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      tree[path] = ReadText(path);
      continue;
    }
    tree[path] = "<folder>";
    if (deep) tree.merge(Tree(path));
  } while (FindNextFileA(find, &entry));
  FindClose(find);
  return tree;
}
