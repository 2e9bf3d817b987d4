#include "simconfig.h"

#include <cctype>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "edit.h"
#include "platform.h"

namespace {

bool FileExistsIn(const std::string& folder, const std::string& file) {
  return PathExists(folder + "\\" + file);
}

// Length of the longest prefix of `s` that reads as a decimal number:
// sign, digits with an optional full stop, optional exponent.
size_t NumberPrefix(const char* s) {
  size_t i = 0, digits = 0;
  if (s[i] == '+' || s[i] == '-') ++i;
  for (; std::isdigit(static_cast<unsigned char>(s[i])); ++i) ++digits;
  if (s[i] == '.')
    for (++i; std::isdigit(static_cast<unsigned char>(s[i])); ++i) ++digits;
  if (digits == 0) return 0;
  size_t end = i;
  if (s[i] == 'e' || s[i] == 'E') {
    ++i;
    if (s[i] == '+' || s[i] == '-') ++i;
    if (std::isdigit(static_cast<unsigned char>(s[i]))) {
      while (std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
      end = i;
    }
  }
  return end;
}

}  // namespace

bool ProbeSimulatorFolder(const std::string& variable, std::string& folder) {
  std::string value;
  if (!GetEnvironmentValue(variable, value)) return false;
  std::string candidate = value + "\\Lockheed Martin\\Prepar3D v2";
  if (!FileExistsIn(candidate, "Prepar3D.cfg")) return false;
  folder = candidate;
  return true;
}

std::string FindSimulatorFolder() {
  std::string folder;
  if (!ProbeSimulatorFolder("APPDATA", folder)) ProbeSimulatorFolder("LOCALAPPDATA", folder);
  return folder;
}

std::string GetSimulatorConfigPath() {
  std::string folder = FindSimulatorFolder();
  return folder.empty() ? folder : folder + "\\Prepar3D.cfg";
}

std::string ReadConfigString(const std::string& section, const std::string& key,
                             const std::string& fallback) {
  return ReadIniString(section, key, fallback, GetSimulatorConfigPath());
}

bool ReadConfigBool(const std::string& section, const std::string& key, bool fallback) {
  std::string value = ReadConfigString(section, key, fallback ? "True" : "False");
  return value == "True" || value == "1" || value == "true";
}

float ReadConfigFloat(const std::string& section, const std::string& key, float fallback) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", fallback);
  std::string value = ReadConfigString(section, key, text);

  const char* start = value.c_str();
  while (std::isspace(static_cast<unsigned char>(*start))) ++start;
  std::string number(start, NumberPrefix(start));
  if (number.empty()) return fallback;
  double converted = std::strtod(number.c_str(), nullptr);
  if (!std::isfinite(converted) || std::fabs(converted) > FLT_MAX) return fallback;
  return static_cast<float>(converted);
}

PluginSettings& GetPluginSettings() {
  static PluginSettings settings = [] {
    PluginSettings loaded;
    loaded.zoom = ReadConfigBool("VYRA", "Zoom", true);
    loaded.async = ReadConfigBool("VYRA", "Async", true);
    loaded.worldScale = ReadConfigFloat("VYRA", "WorldScale", 1.0f);
    loaded.vignette = ReadConfigBool("VYRA", "Vignette", true);
    return loaded;
  }();
  return settings;
}
