// Every answer Windows documents, at every step of a run. The settings check and
// the registration run over the real binding, through the seam (seam/seam.h),
// which at the first, second, third ... file operation in turn hands the edit an
// answer in Windows' place, once, or from then on (as SQLite's tests inject an I/O
// error). Each row expects one outcome, from the files alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "case.h"
#include "check.h"
#include "edit.h"
#include "launcher.h"
#include "registration.h"
#include "seam.h"

namespace {

// What another program, or Windows, does at a step: tests/data/table/answers names
// the pages. The first five are refusals, which the edit waits out. Saves and
// removals of the file come before any step but the rename that replaces, as
// Windows has no rename-if-unchanged (docs/promises.md), once, at every later
// step, or once more as the next pass begins; those of the working copy before
// any step where it stands, once. A program that holds the file for reading from
// the start of an edit on refuses it writing, not a rename onto it.
// clang-format off
enum Kind { kHeld, kLocked, kBeingDeleted, kTargetOpen, kMapped, kAccessList, kFull, kNoFinalPath,
            kLink, kExists, kHeldForReading, kSaved, kSavedEachPass, kRemoved, kCopyRemoved,
            kCopyReplaced };
const struct { const char* name; Answer answer = kDone; } kKinds[] = {
    {"held", kSharingViolation}, {"locked", kLockViolation}, {"being-deleted", kAccessDenied},
    {"target-open", kAccessDenied}, {"mapped", kUserMappedFile}, {"access-list", kAccessDenied},
    {"disk-full", kDiskFull}, {"no-final-path", kPathNotFound}, {"link", kPathNotFound},
    {"exists", kFileExists}, {"held-for-reading", kSharingViolation}, {"saved"},
    {"saved-each-pass"}, {"removed"}, {"copy-removed"}, {"copy-replaced"}};
// clang-format on

// What each file operation can answer, from the data file.
const std::map<std::string, std::vector<Kind>> kAnswers = [] {
  std::map<std::string, std::vector<Kind>> answers;
  std::istringstream lines(ReadText(InProject("tests/data/table/answers")));
  for (std::string line, word; std::getline(lines, line);) {
    std::istringstream words(line);
    if (line[0] == '#' || !(words >> word)) continue;
    for (auto& kinds = answers[word]; words >> word;)
      kinds.push_back(Kind(std::find_if(std::begin(kKinds), std::end(kKinds),
                                        [&](auto& k) { return k.name == word; }) -
                           kKinds));
  }
  return answers;
}();

bool CanGive(const std::string& operation, Kind kind) {
  return std::count(kAnswers.at(operation).begin(), kAnswers.at(operation).end(), kind);
}

// The settings file in phase 0 (the check), the module list in phase 1 (the
// registration), and what each may hold (tests/data/table).
const std::string kFiles[] = {"Prepar3D.cfg", "dll.xml"},
                  kCopies[] = {"VYRA-cfg.tmp", "VYRA-dll.tmp"};
std::string Data(int phase, const std::string& what) {
  return ReadText(InProject(std::string("tests/data/table/") + (phase ? "list" : "settings") +
                            what + (phase ? ".xml" : ".cfg")));
}

// Each fixture has one trait, which its name tells.
struct Fixture {
  std::string name;
  bool list = name != "no_list";               // dll.xml is there
  bool leftovers = name == "leftover_copies";  // working copies that a run cut short left
  bool meanwhile = name == "saves_meanwhile";  // another program saves each file at its first read
  bool hidden = name == "every_correction";    // the files are hidden and system, which they keep
  bool share = name == "on_a_share";           // one that answers no normalized name
};
const Fixture kFixtures[] = {
    {"every_correction"}, {"no_list"}, {"leftover_copies"}, {"saves_meanwhile"}, {"on_a_share"}};
constexpr char kLeftover[] = "[left by a run cut short";

// From step `at` on, once or for good. The plug-in's reads are no steps: its
// settings are loaded once a process, in the run with no answer (in_process
// shows them tried again).
struct Row {
  int at = -1;
  Kind kind = kHeld;
  bool stays = false;
};

// A step, and what stood where it was taken.
struct Seen {
  Access access;
  int phase;
  bool fileThere, copyThere, pathThere, copyStands;  // copyThere: the step names it
};

// One run of a fixture with a row, as the seam's hook follows it.
struct Trial {
  const Fixture& f;
  Row row;
  std::string folder;
  int phase = 0, steps = 0, pluginReads = 0;
  std::vector<Seen> seen = {};  // every step so far
  // A working copy that must stay; the row's step acting on a copy a run cut short left.
  bool copyStays = false, onLeftover = false;
  std::string saved[2] = {};  // each file's last save, and how many there were
  int saves = 0;
  bool stamped = false, passBegun = false;  // the last step, and the two last, noted its stamp
  std::string Path(const std::string* names) const { return folder + "\\" + names[phase]; }
  // The step the row's answer was given at, or none.
  const Seen* Given() const { return row.at >= 0 && row.at < steps ? &seen[row.at] : nullptr; }
};

// Another program saves the file of the phase, a little longer each time.
void Save(Trial& t) {
  std::string& saved = t.saved[t.phase];
  saved = saved.empty() ? Data(t.phase, "-saved") : saved + "\r\n";
  WriteText(t.Path(kFiles), saved);
  ++t.saves;
}

// Answers as Windows does where Wine may not. How the profile write opens a file
// is not documented: as CreateFileW opens one with CREATE_ALWAYS, it may refuse a
// hidden or system file (its page). Where the file is not there, it makes one
// that holds the key alone (the WritePrivateProfileStringW page), where Wine may
// write what it held of the file before. On a share that answers no normalized
// name, the final path is refused to a user who may not read a folder above (the
// GetFinalPathNameByHandleW page).
bool AsWindows(const Trial& t, const Access& access, Answer& answer) {
  const std::string op = access.operation;
  const DWORD attributes = GetFileAttributesW(Wide(access.paths[0]).c_str());
  if (op == "WriteIniText" && attributes == INVALID_FILE_ATTRIBUTES)
    WriteText(access.paths[0], "");
  else if (op == "WriteIniText" && (attributes & (kHidden | kSystem)))
    return answer = kAccessDenied, true;
  return t.f.share && op == "FinalPathOf" && (answer = kAccessDenied, true);
}

// Another program removes the working copy, freeing its name at once as Windows
// does on NTFS, or puts a file of its own in its place.
void ActOnTheCopy(Trial& t, const std::string& copy) {
  const std::string away = PathOf(t.folder).parent_path().parent_path().string() + "\\away";
  MoveFileExW(Wide(copy).c_str(), Wide(away).c_str(), MOVEFILE_REPLACE_EXISTING);
  t.copyStays = t.row.kind == kCopyReplaced && !t.onLeftover;
  if (t.row.kind == kCopyReplaced) WriteText(copy, "[another program's]\r\n");
}

// The seam's hook: the fixture's own saves, and the row's answer where it is due:
// at its step, and from then on, where it stays, at each step of that phase (a save
// or a removal) or each that names a path of its step (a link is one for good).
bool Step(Trial& t, Access& access, Answer& answer) {
  const std::string op = access.operation, file = t.Path(kFiles), copy = t.Path(kCopies);
  const Row& row = t.row;
  const bool event = row.kind >= kSaved;
  if (access.section == "VYRA") return ++t.pluginReads, false;  // no step
  t.seen.push_back({access, t.phase, PathExists(file), Mentions(access, copy) && PathExists(copy),
                    PathExists(access.paths.front()), PathExists(copy)});
  if (t.f.meanwhile && op.find("Read") == 0 && t.saved[t.phase].empty()) Save(t);
  // A pass that ends unchanged looks at the file's stamp, and the next notes it:
  // a save just after that lands in the next pass.
  const Seen* given = t.Given();
  if (row.kind == kSavedEachPass && given && t.phase == given->phase && t.saves < 2 && t.passBegun)
    Save(t);
  t.passBegun = std::exchange(t.stamped, op == "Stat" && Mentions(access, file)) && t.stamped;
  if (t.steps++ == row.at) {
    t.onLeftover = PathExists(copy) && ReadText(copy) == kLeftover &&
                   (op == "Remove" || op == "SetAttributes" || row.kind >= kCopyRemoved);
    // A working copy there stays where the answer leaves it or the file untold,
    // or refuses its removal for good.
    const bool untold = row.kind == kLink ||
                        (row.kind == kAccessList && (op == "NameCountOf" || op == "OpenedPathOf" ||
                                                     (op == "FinalPathOf" && row.stays)));
    t.copyStays =
        PathExists(copy) && ((untold && (Mentions(access, copy) || Mentions(access, file))) ||
                             (row.stays && CanGive("Remove", row.kind) && Mentions(access, copy)));
    if (row.kind >= kCopyRemoved) ActOnTheCopy(t, copy);
  } else if (!given || (!row.stays && row.kind != kLink) ||
             (event ? t.phase != given->phase
                    : !std::any_of(given->access.paths.begin(), given->access.paths.end(),
                                   [&](auto& p) { return Mentions(access, p); }))) {
    return AsWindows(t, access, answer);
  }
  if (event && row.kind < kCopyRemoved && op != "Rename")
    row.kind == kRemoved ? void(DeleteFileW(Wide(file).c_str())) : Save(t);
  if (row.kind == kLink && op == "Stat") access.addsAttributes = kReparsePoint;
  if (event || (row.kind == kLink ? op != "FinalPathOf" : !CanGive(op, row.kind)))
    return AsWindows(t, access, answer);
  if (row.kind == kMapped && op == "CheckRoom") {  // the room written, the cut refused
    access.after = [path = access.paths[0]](Answer& grew) {
      std::ofstream(PathOf(path), std::ios::binary | std::ios::app) << std::string(kRoom, '\0');
      grew = grew == kDone ? kUserMappedFile : grew;
    };
    return false;
  }
  answer = kKinds[row.kind].answer;
  return true;
}

// Runs the settings check and the registration on fixture `f`, with `row`, in a
// folder of its own: what a run notes of a file (a read refused for good) lasts as
// long as its process, which runs every row.
Trial Try(const Fixture& f, const Row& row) {
  static int runs = 0;
  const std::string name = f.name + "-" + std::to_string(runs++);
  const std::string appdata = NewFolder((fs::temp_directory_path() / "vyra" / name).string());
  Trial t{f, row, appdata + "\\Lockheed Martin\\Prepar3D v2"};
  for (int phase : {0, 1}) {
    const std::string file = t.folder + "\\" + kFiles[phase];
    if (phase == 0 || f.list) WriteText(file, Data(phase, ""));
    if (f.hidden) SetFileAttributesW(Wide(file).c_str(), kHidden | kSystem);
    if (f.leftovers) WriteText(t.folder + "\\" + kCopies[phase], kLeftover);
  }
  SetEnvironmentVariableW(L"APPDATA", Wide(appdata).c_str());
  seamPauses = false;
  seamRetrySets = 0;
  seamHook = [&t](Access& access, Answer& answer) { return Step(t, access, answer); };
  CheckSimulatorSettings();
  t.phase = 1;
  EnterModule(t.Path(kFiles));
  seamHook = nullptr;
  return t;
}

// Checks what the run left in the simulator folder: every correction and the
// module listed, unless the row's answer keeps the file of its phase as it was
// (an answer given once is waited out or gone round, one that stays is not; a
// save meanwhile brings a second pass, which goes round one given in the first),
// or another program saved or removed that file; a working copy only where it stays.
void Check(const Trial& t, const std::string& what, bool due, bool goneRound = false) {
  const Fixture& f = t.f;
  const Row& row = t.row;
  const Seen* given = t.Given();
  const std::string op = given ? given->access.operation : "";
  const int phaseGiven = given ? given->phase : 0;
  // The files expected where the file of the row's phase took every change, or not.
  auto expected = [&](bool changed) {
    std::map<std::string, std::string> want;  // by name, and the attributes kept
    for (int phase : {0, 1}) {
      const bool here = given && phase == phaseGiven, whole = !here || changed;
      const std::string saved = f.meanwhile ? "-saved" : "", changes = whole ? "-whole" : "";
      std::string bytes = f.list || phase == 0 ? Data(phase, saved + changes)
                          : whole              ? Data(phase, "-made-anew")
                                               : "";
      if (here && (row.kind == kSaved || row.kind == kSavedEachPass))
        bytes = row.stays || t.saves > 1 ? t.saved[phase] : Data(phase, "-saved-whole");
      if (here && row.kind == kRemoved) bytes = Data(phase, "-made-anew");
      if (!bytes.empty())
        want[kFiles[phase]] =
            bytes + (f.hidden && !(here && row.kind == kRemoved) ? "(hidden, system)" : "");
    }
    return want;
  };
  // An answer given once that the edit waits out or goes round, or one that leaves
  // the file told (an access list once at the normalized name: the opened one
  // serves) or keeps a leftover's attributes, changes every file; where another
  // program acted on the working copy, either every change or none.
  const bool once =
      !row.stays &&
      (row.kind <= kMapped || (row.kind == kAccessList && (op == "FinalPathOf" || t.onLeftover)));
  std::map<std::string, std::string> got,
      want = expected(row.kind == kNoFinalPath || goneRound || once);
  for (const auto& [path, entry] : Below(t.folder))
    got[PathOf(path).filename().string()] =
        entry.bytes + (entry.attributes & (kHidden | kSystem) ? "(hidden, system)" : "");
  // What another program or the profile writer left at the copy's name stays there.
  const std::string copy = kCopies[phaseGiven];
  got.erase(row.kind == kCopyRemoved ? copy : "");
  auto withCopy = [&](std::map<std::string, std::string> files) {
    if (t.copyStays) files[copy] = got.count(copy) ? got[copy] : "(a working copy)";
    return files;
  };
  want = withCopy(want);
  if (row.kind >= kCopyRemoved && got != want) want = withCopy(expected(!goneRound));
  EXPECT_EQ(given != nullptr, due) << what << (due ? ": never given" : ": a step past the last");
  EXPECT_TRUE(op.find("ReadIni") || row.kind > kLocked || seamRetrySets == 1)
      << what << ": " << seamRetrySets << " sets of retries for a file's reads, not 1";
  EXPECT_EQ(got, want) << what;
  std::error_code failed;  // the failure shows what was left
  fs::remove_all(PathOf(t.folder).parent_path().parent_path(), failed);
}

// True where step `at` begins to tell a file (its final path is asked next): so a
// pass of the edit begins, and a link is told.
bool BeginsToTell(const std::vector<Seen>& seen, size_t at) {
  return seen[at].access.operation == std::string("Stat") && at + 1 < seen.size() &&
         seen[at + 1].access.operation == std::string("FinalPathOf");
}

// The kinds of answer step `at` of a fixture's run can be given.
std::vector<Kind> KindsAt(const Fixture& f, const std::vector<Seen>& seen, size_t at) {
  const Seen& s = seen[at];
  const std::string op = s.access.operation;
  std::vector<Kind> kinds;
  for (Kind kind : kAnswers.at(op))
    if (kind == kBeingDeleted
            ? !s.copyThere && s.access.paths.back().find("VYRA-") != std::string::npos
        : kind == kLink ? BeginsToTell(seen, at) && s.pathThere
                        : kind != kHeldForReading &&
                              (s.pathThere || (kind != kAccessList && kind != kNoFinalPath)))
      kinds.push_back(kind);
  if (BeginsToTell(seen, at) && s.fileThere) kinds.push_back(kHeldForReading);
  if (!f.meanwhile && op != "Rename") kinds.insert(kinds.end(), {kSaved, kSavedEachPass});
  if (!f.meanwhile && op != "Rename" && s.fileThere) kinds.push_back(kRemoved);
  if (s.copyStands) kinds.insert(kinds.end(), {kCopyRemoved, kCopyReplaced});
  return kinds;
}

}  // namespace

class EveryAnswer : public testing::TestWithParam<Fixture> {};

TEST_P(EveryAnswer, AtEveryStep) {
  const Fixture& f = GetParam();
  const Trial plain = Try(f, Row());
  Check(plain, f.name + ": no answer", false);
  int passes[2] = {}, most = plain.steps + plain.pluginReads;
  for (size_t at = 0; at <= plain.seen.size(); ++at) {  // one past the last: none gets there
    const bool past = at == plain.seen.size();
    const Seen& s = plain.seen[past ? at - 1 : at];
    passes[s.phase] += !past && BeginsToTell(plain.seen, at);
    for (Kind kind : past ? std::vector<Kind>{kHeld} : KindsAt(f, plain.seen, at))
      for (bool stays : {false, true}) {
        // Another program acts on the working copy, or saves the file in each
        // pass, once; holds it for reading for good.
        if (stays ? kind >= kCopyRemoved || kind == kSavedEachPass : kind == kHeldForReading)
          continue;
        Row row{static_cast<int>(at), kind, stays};
        const Trial t = Try(f, row);
        most = std::max(most, t.steps + plain.pluginReads);
        // Not a refused INI read, which the run remembers, nor a link, gone round.
        const std::string what =
            f.name + ": " + kKinds[kind].name + (stays ? " from then on" : " once") + " at step " +
            std::to_string(at) +
            (past ? "" : ", " + (s.access.operation + (" " + s.access.paths.back())));
        Check(t, what, !past,
              f.meanwhile && passes[s.phase] == 1 && !stays && kind != kLink &&
                  std::string(s.access.operation).find("ReadIni") != 0);
      }
  }
  // The runner's bound on a run's launchers outlasts the turn and the longest run
  // of the table with its every step refused until its last try.
  EXPECT_LT(kTurnWaitMs + most * kRetriesMs, kLaunchersAtMostMs) << most << " steps";
  std::printf("%s: at most %d steps\n", f.name.c_str(), most);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, EveryAnswer, testing::ValuesIn(kFixtures),
                         [](const auto& info) { return info.param.name; });
