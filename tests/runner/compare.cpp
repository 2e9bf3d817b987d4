// What differs from what the case expects after a run: reported at the case
// file's line with GoogleTest's own unified diff, and taken over into the case
// on request.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iostream>
#include <sstream>

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

// A text's lines as the diff shows them: bytes outside printable ASCII as \xNN,
// and each line's end spelled out unless it is CR LF.
static std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (size_t start = 0, end; start < text.size(); start = end) {
    end = std::min(text.find('\n', start), text.size() - 1) + 1;
    std::string line = text.substr(start, end - start), shown;
    bool windows = line.size() > 1 && line.compare(line.size() - 2, 2, "\r\n") == 0;
    if (windows) line.resize(line.size() - 2);
    for (unsigned char byte : line) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped,
                    byte == '\r'   ? "\\r"
                    : byte == '\n' ? "\\n"
                                   : "\\x%02x",
                    byte);
      shown += byte == '\t' || (byte >= ' ' && byte < 0x7f) ? std::string(1, byte) : escaped;
    }
    lines.push_back(shown + (windows || line.back() == '\n' ? "" : " (no line end)"));
  }
  return lines;
}

// A unified diff of the two texts, its sides labelled, cut after kMostLines.
static std::string Diff(const std::string& expected, const std::string& written) {
  constexpr size_t kContext = 3, kMostLines = 40;
  std::istringstream diff(testing::internal::edit_distance::CreateUnifiedDiff(
      Lines(expected), Lines(written), kContext));
  std::string shown = "--- expected\n+++ written by the launcher";
  size_t lines = 0, left = 0;
  for (std::string line; std::getline(diff, line); ++lines)
    if (lines < kMostLines)
      shown += "\n" + line;
    else
      left += line[0] == '-' || line[0] == '+';
  if (left) shown += "\n(cut here: " + std::to_string(left) + " more changed lines)";
  return shown;
}

// An entry's attributes as letters: F(older), R(ead-only), H(idden), S(ystem).
static std::string Letters(DWORD attributes) {
  const DWORD kinds[] = {FILE_ATTRIBUTE_DIRECTORY, FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_HIDDEN,
                         FILE_ATTRIBUTE_SYSTEM};
  std::string letters;
  for (int kind = 0; kind < 4; ++kind)
    if (attributes & kinds[kind]) letters += "FRHS"[kind];
  return letters.empty() ? "none" : letters;
}

std::set<std::string> Report(const CaseFile& c, const Tree& want, const Tree& got,
                             const std::string& when, Tree& earlier) {
  std::set<std::string> paths, differing;
  for (const auto* tree : {&want, &got})
    for (const auto& [path, entry] : *tree) paths.insert(path);
  for (const auto& path : paths) {
    auto expected = want.find(path), written = got.find(path);
    Entry was = expected == want.end() ? Entry() : expected->second;
    Entry is = written == got.end() ? Entry() : written->second;
    if (expected != want.end() && written != got.end() && was == is) continue;
    differing.insert(path);
    std::string what = expected == want.end() ? " is new"
                       : written == got.end() ? " is missing"
                                              : " differs";
    std::string message = NameOf(c, path) + what + when;
    if (earlier.count(path) && earlier[path] == is) {
      message += ", as before";
    } else {
      message += ":";
      if (was.bytes != is.bytes) message += "\n" + Diff(was.bytes, is.bytes);
      if (was.attributes != is.attributes)
        message +=
            "\nattributes " + Letters(is.attributes) + ", expected " + Letters(was.attributes);
    }
    FAIL_AT_LINE(c, LineOf(c, path)) << message;
    earlier[path] = is;
  }
  return differing;
}

// The lines of `bytes`, when each of them ends in CR LF; false when one does not.
static bool CrLfLines(const std::string& bytes, std::vector<std::string>& lines) {
  std::istringstream text(bytes);
  for (std::string line; std::getline(text, line);) {
    bool endsInCrLf = !text.eof() && !line.empty() && line.back() == '\r';
    if (!endsInCrLf) return false;
    line.pop_back();
    lines.push_back(line);
  }
  return !lines.empty();
}

// `bytes` with the work folder spelled %WORK% and the programs' folder %BIN%, as
// case files write them.
static std::string WithWorkSpelledOut(const CaseFile& c, std::string bytes) {
  for (auto [folder, name] :
       {std::pair<std::string, std::string>{c.work, "%WORK%"}, {BIN_DIR, "%BIN%"}})
    for (size_t at = bytes.find(folder); at != std::string::npos; at = bytes.find(folder, at))
      bytes.replace(at, folder.size(), name);
  return bytes;
}

// Takes over what a "+++" line gives: into its data file as it stands, or, as
// lines of the case file, in the place of the lines after it, up to the next
// file's text; anything else the case does not expect is left to its author.
void Accept(const CaseFile& c, const Tree& got, const std::set<std::string>& differing) {
  const fs::path caseFile = PathOf(InProject(c.file));
  std::vector<std::string> lines;
  std::ifstream in(caseFile, std::ios::binary);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  in.close();
  // From the last "+++" line up, so that the lines above each one stay where they are.
  std::vector<std::string> paths(differing.begin(), differing.end());
  auto lowerFirst = [&c](const auto& a, const auto& b) { return LineOf(c, a) > LineOf(c, b); };
  std::sort(paths.begin(), paths.end(), lowerFirst);
  for (const auto& path : paths) {
    std::string name = NameOf(c, path);
    auto changed = c.after.find(path);
    auto written = got.find(path);
    std::vector<std::string> text;
    bool named = changed != c.after.end() && written != got.end();
    bool fromDataFile = named && !changed->second.dataFile.empty();
    bool asLines =
        named && !fromDataFile && CrLfLines(WithWorkSpelledOut(c, written->second.bytes), text);
    if (fromDataFile) {
      const std::string& dataFile = changed->second.dataFile;
      WriteText(InProject(dataFile), written->second.bytes);
      std::cout << "taken over: " << name << " into " << dataFile << "\n";
    } else if (asLines) {
      int plusLine = changed->second.line;
      auto below = lines.begin() + plusLine;  // the line below it, as case lines count from 1
      below = lines.erase(below, below + changed->second.textLines);
      lines.insert(below, text.begin(), text.end());
      std::cout << "taken over: " << name << " into " << c.file << ":" << plusLine << "\n";
    } else {
      std::cout << "not taken over: " << name << " (take it over by hand)\n";
    }
  }
  std::ofstream out(caseFile, std::ios::binary);
  for (const auto& line : lines) out << line << "\n";
}
