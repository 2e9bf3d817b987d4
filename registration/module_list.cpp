// The simulator's module list, dll.xml, read and edited by byte positions: the
// plug-in's entry goes in, and every other byte of a file that every add-on
// shares stays as it was. A small reader of this one shape, not an XML library:
// it knows elements, comments, CDATA sections and processing instructions, and
// leaves a file with anything else (a document type declaration) as it is.
#include <cctype>

#include "edit.h"
#include "registration.h"

namespace {

constexpr std::string::size_type kNone = std::string::npos;

// Beside dll.xml, in the folder as Windows spells its path.
constexpr char kWorkingCopyName[] = "VYRA-dll.tmp";

// A Launch document as the simulator writes one, without entries.
constexpr char kNewModuleList[] =
    "<?xml version=\"1.0\" encoding=\"Windows-1252\"?>\r\n"
    "<SimBase.Document Type=\"Launch\" version=\"1,0\">\r\n"
    "  <Descr>Launch</Descr>\r\n"
    "  <Filename>dll.xml</Filename>\r\n"
    "  <Disabled>False</Disabled>\r\n"
    "  <Launch.ManualLoad>False</Launch.ManualLoad>\r\n"
    "</SimBase.Document>\r\n";

std::string Lower(std::string text) {
  for (char& c : text) c = std::tolower(static_cast<unsigned char>(c));
  return text;
}

bool StartsWith(const std::string& text, std::string::size_type at, const char* start) {
  return text.compare(at, std::char_traits<char>::length(start), start) == 0;
}

// True for an encoding in which every byte below 128 is that ASCII character, so
// that markup is found byte by byte and an ASCII entry fits: UTF-8, ASCII, and
// the single-byte code pages that keep ASCII. The XML declaration names it; a
// file without one is UTF-8.
bool KeepsAscii(const std::string& xml, std::string::size_type start, bool byteOrderMark) {
  if (!StartsWith(xml, start, "<?xml")) return true;
  std::string declaration = xml.substr(start, xml.find("?>", start) - start);
  std::string::size_type name = declaration.find("encoding");
  if (name == kNone) return true;
  std::string::size_type quote = declaration.find_first_of("\"'", name);
  if (quote == kNone) return false;
  std::string encoding = Lower(
      declaration.substr(quote + 1, declaration.find(declaration[quote], quote + 1) - quote - 1));
  if (byteOrderMark || encoding == "utf-8") return encoding == "utf-8";
  return encoding == "us-ascii" ||
         (encoding.size() == 12 && StartsWith(encoding, 0, "windows-125")) ||
         StartsWith(encoding, 0, "iso-8859-");
}

// True when the text of a Path element names a module of the plug-in: a file
// VYRA_*.dll, in any folder and any letter case.
bool NamesModule(const std::string& path) {
  std::string name = Lower(path.substr(path.find_last_of("\\/") + 1));
  name.erase(name.find_last_not_of(" \t\r\n") + 1);
  name.erase(0, name.find_first_not_of(" \t\r\n"));
  return StartsWith(name, 0, "vyra_") && name.size() > 8 &&
         name.compare(name.size() - 4, 4, ".dll") == 0;
}

// What the editor needs of a module list: positions, and whether it names the module.
struct ModuleList {
  bool readable = false;
  bool namesModule = false;
  std::string::size_type lastEntry = kNone;      // the last Launch.Addon's start tag
  std::string::size_type lastEntryBody = kNone;  // just after it
  std::string::size_type closingRoot = kNone;    // the last </SimBase.Document>
};

// Where the markup that starts at `at` ends, just after its ">"; kNone where it
// does not end. An element's tag may hold ">" in a quoted attribute value.
std::string::size_type MarkupEnd(const std::string& xml, std::string::size_type at) {
  std::string::size_type end = kNone;
  if (StartsWith(xml, at, "<!--"))
    end = xml.find("-->", at + 4);
  else if (StartsWith(xml, at, "<![CDATA["))
    end = xml.find("]]>", at + 9);
  else if (StartsWith(xml, at, "<?"))
    end = xml.find("?>", at + 2);
  else if (!StartsWith(xml, at, "<!"))  // not a declaration, which this shape never has
    for (end = at + 1; end < xml.size() && xml[end] != '>'; ++end)
      if ((xml[end] == '"' || xml[end] == '\'') && (end = xml.find(xml[end], end + 1)) == kNone)
        return kNone;
  if (end == kNone || end >= xml.size()) return kNone;
  return xml.find('>', end) + 1;
}

ModuleList Read(const std::string& xml, std::string::size_type start) {
  ModuleList list;
  std::string::size_type pathText = kNone;
  bool inEntry = false;
  for (std::string::size_type at = xml.find('<', start); at != kNone; at = xml.find('<', at)) {
    std::string::size_type end = MarkupEnd(xml, at);
    if (end == kNone) return list;
    bool closing = xml[at + 1] == '/', empty = xml[end - 2] == '/';
    std::string::size_type nameStart = at + 1 + closing;
    std::string name =
        Lower(xml.substr(nameStart, xml.find_first_of(" \t\r\n/>", nameStart) - nameStart));
    if (name == "launch.addon" && !closing && !empty) {
      inEntry = true;
      list.lastEntry = at;
      list.lastEntryBody = end;
    } else if (name == "launch.addon" && closing) {
      inEntry = false;
    } else if (name == "path" && inEntry && !closing && !empty) {
      pathText = end;
    } else if (name == "path" && inEntry && closing && pathText != kNone) {
      list.namesModule = list.namesModule || NamesModule(xml.substr(pathText, at - pathText));
    } else if (name == "simbase.document" && closing) {
      list.closingRoot = at;
    }
    at = end;
  }
  list.readable = list.closingRoot != kNone;
  return list;
}

// The blanks and tabs before `at` on its line; `otherwise` when something else
// stands there too.
std::string IndentOf(const std::string& xml, std::string::size_type at, const char* otherwise) {
  std::string::size_type line = at ? xml.rfind('\n', at - 1) : kNone;
  line = line == kNone ? 0 : line + 1;
  std::string indent = xml.substr(line, at - line);
  return indent.find_first_not_of(" \t") == kNone ? indent : otherwise;
}

}  // namespace

std::string WithModuleEntered(const std::string& xml) {
  if (xml.find_first_not_of(" \t\r\n") == kNone) return WithModuleEntered(kNewModuleList);
  const bool byteOrderMark = StartsWith(xml, 0, "\xEF\xBB\xBF");
  const std::string::size_type start = byteOrderMark ? 3 : 0;
  if (!KeepsAscii(xml, start, byteOrderMark)) return {};
  const ModuleList list = Read(xml, start);
  if (!list.readable || list.namesModule) return {};

  std::string indent = "  ", inner = "    ";
  if (list.lastEntry != kNone) {
    indent = IndentOf(xml, list.lastEntry, "  ");
    std::string::size_type child = xml.find('<', list.lastEntryBody);
    bool ownLine = xml.find('\n', list.lastEntryBody) < child;
    inner = ownLine ? IndentOf(xml, child, "") : "";
    if (inner.empty()) inner = indent + "  ";
  }
  const std::string eol = xml.find("\r\n") != kNone ? "\r\n" : "\n";
  const std::string entry = indent + "<Launch.Addon>" + eol +                 //
                            inner + "<Name>VYRA</Name>" + eol +               //
                            inner + "<Disabled>False</Disabled>" + eol +      //
                            inner + "<ManualLoad>False</ManualLoad>" + eol +  //
                            inner + "<Path>VYRA_02.dll</Path>" + eol +        //
                            indent + "</Launch.Addon>" + eol;
  // On a line of its own, the closing tag keeps its line and the entry goes above it.
  std::string::size_type line = xml.rfind('\n', list.closingRoot);
  line = line == kNone ? start : line + 1;
  bool ownLine = xml.find_first_not_of(" \t", line) == list.closingRoot;
  std::string entered = xml;
  return ownLine ? entered.insert(line, entry) : entered.insert(list.closingRoot, eol + entry);
}

// A list where there is none reads as empty: a new one. What another program
// saves meanwhile, a new list too, gets the module entered in it on a second pass.
void EnterModule(const std::string& registrationFile) {
  EditFile(registrationFile, kWorkingCopyName, [](Edit& edit) {
    std::string bytes, entered;
    if (!edit.existed || Retried([&] { return files::ReadWhole(edit.file, bytes); }) == kDone)
      entered = WithModuleEntered(bytes);
    if (!entered.empty())
      Change(edit, [&](const WorkingCopy& copy) {
        return Retried([&] { return files::WriteWhole(copy, entered); }) == kDone;
      });
  });
}
