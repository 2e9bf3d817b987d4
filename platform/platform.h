// The operating-system operations the launcher uses, as plain functions.
// Texts are byte strings in the system's ANSI code page unless stated.
#pragma once

#include <string>

// Space handed to the platform for environment and INI text values,
// terminating zero included.
constexpr unsigned kReadLimit = 1023;

// Sets `value` to the variable's value; false, leaving `value` alone, when
// the variable is unset or its value needs more than kReadLimit - 1 characters.
bool GetEnvironmentValue(const std::string& name, std::string& value);

// True when a file or folder exists at `path`.
bool PathExists(const std::string& path);

// An empty `path` names no file: the INI reads below give their fallback and
// the write does nothing (Windows would look for the file in its own folder).

// The INI value of `section`/`key` in the file `path`, at most kReadLimit - 1
// characters; `fallback` when the file, section or key is absent.
std::string ReadIniString(const std::string& section, const std::string& key,
                          const std::string& fallback, const std::string& path);

// The INI value as an unsigned integer (0 for a value not starting with digits);
// `fallback` when the file, section or key is absent.
unsigned ReadIniInt(const std::string& section, const std::string& key, int fallback,
                    const std::string& path);

// Sets `section`/`key` to `value`, adding key, section or file when absent.
// Failures are ignored.
void WriteIniString(const std::string& section, const std::string& key, const std::string& value,
                    const std::string& path);

// True when desktop composition is on; false when it is off or the query fails.
bool IsCompositionEnabled();

// Case-sensitive comparison of two whole UTF-16 texts.
bool TextEquals(const wchar_t* a, const wchar_t* b);

// Runs `command` through the command processor and returns when it returns.
void RunCommand(const std::string& command);
