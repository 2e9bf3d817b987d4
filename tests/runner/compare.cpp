// What differs from what the case expects after a run: reported at the case
// file's line with GoogleTest's own unified diff.
#include <gtest/gtest.h>

#include <algorithm>

#include "case.h"

int LineOf(const CaseFile& c, const std::string& path) {
  std::string spelled = Spelling(path);
  auto changed = c.after.find(spelled);
  if (changed != c.after.end()) return changed->second.line;
  auto named = c.firstNamedAt.find(spelled);
  return named == c.firstNamedAt.end() ? 1 : named->second;
}

std::string NameOf(const CaseFile& c, const std::string& path) {
  return path.rfind(c.work + "\\", 0) == 0 ? path.substr(c.work.size() + 1) : path;
}

// A unified diff of the two texts, each line as GoogleTest prints a string (its
// escapes, and its line end spelled out), the sides labelled.
static std::string Diff(const std::string& expected, const std::string& written) {
  auto lines = [](const std::string& text) {
    std::vector<std::string> lines;
    for (size_t start = 0, end; start < text.size(); start = end + 1) {
      end = std::min(text.find('\n', start), text.size() - 1);
      lines.push_back(testing::PrintToString(text.substr(start, end + 1 - start)));
    }
    return lines;
  };
  return "--- expected\n+++ written by the launcher\n" +
         testing::internal::edit_distance::CreateUnifiedDiff(lines(expected), lines(written));
}

void Report(const CaseFile& c, const Tree& want, const Tree& got, const std::string& when) {
  std::set<std::string> paths;
  for (const auto* tree : {&want, &got})
    for (const auto& [path, entry] : *tree) paths.insert(path);
  for (const auto& path : paths) {
    auto expected = want.find(path), written = got.find(path);
    Entry was = expected == want.end() ? Entry() : expected->second;
    Entry is = written == got.end() ? Entry() : written->second;
    if (expected != want.end() && written != got.end() && was == is) continue;
    std::string what = expected == want.end() ? " is new"
                       : written == got.end() ? " is missing"
                                              : " differs";
    std::string message = NameOf(c, path) + what + when + ":";
    if (was.bytes != is.bytes) message += "\n" + Diff(was.bytes, is.bytes);
    if (was.attributes != is.attributes)
      message += "\nattributes " + std::to_string(is.attributes) + ", expected " +
                 std::to_string(was.attributes) + " (16 folder, 1 read-only, 2 hidden, 4 system)";
    FAIL_AT_LINE(c, LineOf(c, path)) << message;
  }
}
