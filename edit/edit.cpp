#include "edit.h"

// The copy goes beside the file that a link finally names, so that the rename
// replaces that file and the link stays. A file with a second name (a hard
// link) is not changed at all: a copy in its place would cut the other name
// off. A copy left by a run cut short goes first, so that nothing of it (bytes
// or attributes) passes on; anything else there (a folder, a link, another
// file's second name) is not ours and stays exactly as it is, and then no copy
// can be made. A copy's name is fixed and not the file's kind, so a run cut
// short leaves one stray copy at most, which the simulator never reads.
Edit BeginEdit(const std::string& path, const char* copyName) {
  Edit edit;
  if (path.empty()) return edit;
  edit.existed = PathExists(path);
  edit.file = edit.existed ? FinalPath(path) : path;
  if (edit.file.empty() || (edit.existed && NameCount(edit.file) != 1)) {
    edit.file.clear();
    return edit;
  }
  edit.stamp = StampOf(edit.file);
  edit.copy = edit.file.substr(0, edit.file.rfind('\\') + 1) + copyName;
  if (IsPlainFile(edit.copy)) RemoveFile(edit.copy);
  return edit;
}

bool MakeCopy(Edit& edit) {
  if (edit.state == Edit::kUntouched) {
    bool made = !edit.file.empty() && (edit.existed ? CopyToNew(edit.file, edit.copy)
                                                    : WriteWholeFile(edit.copy, "", true));
    edit.state = made ? Edit::kWhole : Edit::kRefused;
  }
  return edit.state == Edit::kWhole;
}

// A stamp that is not the one noted counts as a save meanwhile, whatever else
// failed: a file that another program rewrote, replaced, removed, or made where
// there was none.
EditOutcome PutInPlace(const Edit& edit) {
  if (edit.state == Edit::kWhole && FlushToDisk(edit.copy) &&
      (edit.existed ? ReplaceFileWith(edit.file, edit.copy, edit.stamp)
                    : MoveToNew(edit.copy, edit.file)))
    return EditOutcome::kReplaced;
  if (edit.state == Edit::kWhole || edit.state == Edit::kBroken) RemoveFile(edit.copy);
  if (!(StampOf(edit.file) == edit.stamp)) return EditOutcome::kSavedMeanwhile;
  return edit.state == Edit::kUntouched ? EditOutcome::kNothingToChange : EditOutcome::kRefused;
}
