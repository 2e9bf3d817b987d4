// The simulator's per-user configuration file Prepar3D.cfg: where it is, typed
// reads from it, and the plug-in's own settings kept in its "VYRA" section.
#pragma once

#include <string>

struct PluginSettings {
  bool zoom = true;
  bool async = true;  // true: asynchronous timewarp; false: synchronous
  bool vignette = true;
  float worldScale = 1.0f;
};

// True, with `folder` set, when the folder named by the variable plus
// "\Lockheed Martin\Prepar3D v2" holds Prepar3D.cfg; otherwise `folder` is untouched.
bool ProbeSimulatorFolder(const std::string& variable, std::string& folder);

// The simulator folder under APPDATA, else LOCALAPPDATA; empty when neither
// holds Prepar3D.cfg. Probed anew on every call.
std::string FindSimulatorFolder();

// The simulator folder followed by "\Prepar3D.cfg"; empty when there is no folder.
std::string GetSimulatorConfigPath();

// The stored text, or `fallback` when there is no file, section or key.
std::string ReadConfigString(const std::string& section, const std::string& key,
                             const std::string& fallback);

// True only for a stored "True", "1" or "true".
bool ReadConfigBool(const std::string& section, const std::string& key, bool fallback);

// The number at the start of the stored text; `fallback` when there is no
// value, no number, or one beyond a 32-bit float.
float ReadConfigFloat(const std::string& section, const std::string& key, float fallback);

// The one process-wide instance, loaded from the file on first request.
PluginSettings& GetPluginSettings();
