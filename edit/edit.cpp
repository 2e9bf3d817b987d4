#include "edit.h"

#include <algorithm>
#include <vector>

namespace {

// What the rename's try answers where the file's stamp changed meanwhile: an
// answer of the launcher's own (Windows leaves bit 29 of an error code to programs).
constexpr Answer kChangedMeanwhile = 0x20000001;

bool IsAbsence(Answer answer) { return answer == kFileNotFound || answer == kPathNotFound; }

// What this process noted: the files whose reads stayed refused, and the working
// copies' names where another program's file took the copy's place, which this
// process leaves as they are.
std::vector<std::string> refusedReads, othersAtCopies;

bool Noted(const std::vector<std::string>& paths, const std::string& path) {
  return std::find(paths.begin(), paths.end(), path) != paths.end();
}

bool ReadsRefused(const std::string& path) { return Noted(refusedReads, path); }

// True where `read` read the file `path`, or found none; otherwise notes the file.
template <typename Attempt>
bool Read(const std::string& path, Attempt read) {
  if (path.empty() || ReadsRefused(path)) return false;
  Answer answer = Retried(read);
  if (answer == kDone || IsAbsence(answer)) return true;
  refusedReads.push_back(path);
  return false;
}

// The stamp of the file `path` now; all zero where there is none, or it cannot be had.
FileStamp StampNow(const std::string& path, FileStat& stat) {
  if (Retried([&] { return files::Stat(path, stat); }) != kDone) return {};
  return {stat.size, stat.written};
}

// Removes the working copy, whatever its attributes: Windows refuses to remove a
// read-only file.
Answer RemoveFile(const WorkingCopy& copy) {
  Retried([&] { return files::SetAttributes(copy, kNormal); });
  return RetriedNaming([&] { return files::Remove(copy); });
}

// Sets `final` to the file that `path` finally names, as Windows tells it. A share
// that answers no normalized name refuses it with access denied where the user may
// not read a folder above (the GetFinalPathNameByHandleW page): then the name it
// was opened by serves; an open refused so (a name being deleted, an access list)
// is refused again. Where Windows cannot tell one (a volume the mount manager does
// not know), a file that is no reparse point is the one its path names; what may
// be a link is left alone.
bool FinalPath(const std::string& path, const FileStat& stat, std::string& final) {
  Answer answer = Retried([&] { return files::FinalPathOf(path, final); });
  if (answer == kAccessDenied) answer = Retried([&] { return files::OpenedPathOf(path, final); });
  if (answer == kDone) return true;
  if (answer == kAccessDenied || IsRefusal(answer) || (stat.attributes & kReparsePoint))
    return false;
  final = path;
  return true;
}

// True where the working copy's place `copy` is clear: nothing is there, or a name
// still being deleted, which Windows answers with access denied until the last
// open of it is closed; or a copy that a run cut short left, which goes, so that
// nothing of it (bytes or attributes) passes on. Anything else there is not ours
// and stays exactly as it is: a folder, a link (under Wine, a symbolic link looks
// like the file it names, and only its final path tells it), a file's second name,
// a file that another program put in place of this process's copy (which the next
// run takes for one left).
bool ClearPlace(const std::string& copy) {
  if (Noted(othersAtCopies, copy)) return false;
  FileStat stat;
  unsigned names = 0;
  std::string final;
  Answer there = Retried([&] { return files::Stat(copy, stat); });
  if (IsAbsence(there) || there == kAccessDenied) return true;
  return there == kDone && !(stat.attributes & (kFolder | kReparsePoint)) &&
         Retried([&] { return files::NameCountOf(copy, names); }) == kDone && names == 1 &&
         FinalPath(copy, stat, final) && SamePath(final, copy) &&
         RemoveFile(WorkingCopy{copy}) == kDone;
}

// Puts the copy in the file's place, if the file is as it was when the edit noted
// it, is not read-only, and can be opened for writing: the rename would replace a
// file that refuses writing (a read-only one, under Wine; one whose access list
// denies writing but not deleting; one that a program holds open for reading,
// sharing deleting but not writing). The copy takes the file's hidden, system and
// archive attributes just before. The stamp is compared before every try of the
// rename: a save by the simulator is never replaced. Both go through an open of
// the copy compared with the one the edit made: another program's file at its
// name never takes the file's place.
bool Replace(const Edit& edit) {
  FileStat stat;
  auto unchanged = [&] { return StampNow(edit.file, stat) == edit.stamp; };
  if (!unchanged() || (stat.attributes & kReadOnly) ||
      Retried([&] { return files::CheckWritable(edit.file); }) != kDone)
    return false;
  const unsigned long kept = stat.attributes & (kHidden | kSystem | kArchive);
  return Retried([&] { return files::SetAttributes(edit.copy, kept ? kept : kNormal); }) == kDone &&
         RetriedNaming([&] {
           return unchanged() ? files::Rename(edit.copy, edit.file, true) : kChangedMeanwhile;
         }) == kDone;
}

}  // namespace

std::string ReadIniString(const std::string& section, const std::string& key,
                          const std::string& fallback, const std::string& path) {
  std::string value;
  return Read(path, [&] { return files::ReadIniText(section, key, fallback, path, value); })
             ? value
             : fallback;
}

unsigned ReadIniInt(const std::string& section, const std::string& key, int fallback,
                    const std::string& path) {
  unsigned value = 0;
  return Read(path, [&] { return files::ReadIniNumber(section, key, fallback, path, value); })
             ? value
             : fallback;
}

// The copy goes beside the file that a link finally names, so that the rename
// replaces that file and the link stays. A file with a second name (a hard link)
// is not changed at all: a copy in its place would cut the other name off. For a
// file not there yet, the copy goes in the folder as Windows spells its path,
// however the caller spelt it. A copy's name is fixed and not the file's kind, so
// a run cut short leaves one stray copy at most, which the simulator never reads.
Edit BeginEdit(const std::string& path, const char* copyName) {
  Edit edit;
  edit.path = edit.file = path;
  FileStat stat;
  Answer found = path.empty() ? kPathNotFound : Retried([&] { return files::Stat(path, stat); });
  edit.existed = found == kDone;
  if (edit.existed) edit.stamp = {stat.size, stat.written};
  const size_t slash = path.rfind('\\');
  std::string final, folder;
  unsigned names = 0;
  if (edit.existed) {
    if ((stat.attributes & kFolder) || !FinalPath(path, stat, final) ||
        Retried([&] { return files::NameCountOf(final, names); }) != kDone || names != 1)
      return edit;
    if (final != path) {  // the stamp of the file a link names
      FileStamp stamp = StampNow(final, stat);
      if (stamp == FileStamp()) return edit;
      edit.file = final;
      edit.stamp = stamp;
    }
    folder = final.substr(0, final.rfind('\\'));
  } else {
    if (!IsAbsence(found) || slash == std::string::npos) return edit;
    folder = path.substr(0, slash);
    if (!FinalPath(folder, FileStat(), final)) return edit;
    folder = final;
    edit.file = folder + path.substr(slash);
  }
  edit.copy.path = folder + "\\" + copyName;
  edit.changeable = ClearPlace(edit.copy.path);
  return edit;
}

// The copy takes none of the file's attributes while it is written: Windows' profile
// write may refuse a hidden, system or read-only file, as CreateFileW does one of
// CREATE_ALWAYS (its page). A file whose read stayed refused gets none: its
// corrections could stand on a fallback, and the copy's making would wait out a
// second set of retries.
bool MakeCopy(Edit& edit) {
  if (edit.state == Edit::kUntouched && edit.changeable && !ReadsRefused(edit.path) &&
      RetriedNaming([&] {
        return edit.existed ? files::CopyNew(edit.file, edit.copy) : files::MakeNew(edit.copy);
      }) == kDone)
    edit.state = Edit::kWhole;
  if (edit.state == Edit::kUntouched) edit.state = Edit::kNotMade;
  return edit.state == Edit::kWhole;
}

// A stamp that is not the one noted counts as a save meanwhile, whatever else
// failed: a file that another program rewrote, replaced, removed, or made where
// there was none. The copy goes where it took no place, unless it is another's.
EditOutcome PutInPlace(Edit& edit) {
  const bool replaced =
      edit.state == Edit::kWhole && !ReadsRefused(edit.path) &&
      Retried([&] { return files::Flush(edit.copy); }) == kDone &&
      (edit.existed ? Replace(edit) : RetriedNaming([&] {
                                        return files::Rename(edit.copy, edit.file, false);
                                      }) == kDone);
  if (!replaced && (edit.state == Edit::kWhole || edit.state == Edit::kBroken) &&
      RemoveFile(edit.copy) == kNotTheCopy)
    othersAtCopies.push_back(edit.copy.path);
  files::LetGo(edit.copy);  // a removal is done once the last open of the file is closed
  FileStat stat;
  if (replaced) return EditOutcome::kReplaced;
  if (!edit.file.empty() && !(StampNow(edit.file, stat) == edit.stamp))
    return EditOutcome::kSavedMeanwhile;
  return edit.state == Edit::kUntouched ? EditOutcome::kNothingToChange : EditOutcome::kRefused;
}
