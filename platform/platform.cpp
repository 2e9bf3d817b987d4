// The launcher's other operations, each passed straight on to the binding.
#include "platform.h"

// clang-format off
void LoadLibrariesFromSystemFolderOnly() { win32::LoadLibrariesFromSystemFolderOnly(); }
bool GetEnvironmentValue(const std::string& name, std::string& value) { return win32::GetEnvironmentValue(name, value); }
bool PathExists(const std::string& path) { return win32::PathExists(path); }
bool SamePath(const std::string& a, const std::string& b) { return win32::SamePath(a, b); }
void* TakeTurn(const char* name, unsigned waitMs) { return win32::TakeTurn(name, waitMs); }
void GiveBackTurn(void* turn) { win32::GiveBackTurn(turn); }
bool IsCompositionEnabled() { return win32::IsCompositionEnabled(); }
bool TextEquals(const wchar_t* a, const wchar_t* b) { return win32::TextEquals(a, b); }
bool ScriptEngineRegistered(const std::string& extension) { return win32::ScriptEngineRegistered(extension); }
void RunSystemProgram(const std::string& name, const std::string& commandLine) { win32::RunSystemProgram(name, commandLine); }
std::vector<std::string> ProgramFolders(const std::string& name) { return win32::ProgramFolders(name); }
std::string FullPath(const std::string& path) { return win32::FullPath(path); }
void StartProgram(const std::string& path) { win32::StartProgram(path); }
// clang-format on
