// The working copy through which the launcher changes the simulator's files.
#include "check.h"

// The copy goes beside the file that a link finally names, so that the rename
// replaces that file and the link stays. A file with a second name (a hard
// link) is not changed at all: a copy in its place would cut the other name
// off. A copy left by a run cut short goes first, so that nothing of it (bytes
// or attributes) passes on; anything else there (a folder, a link, another
// file's second name) is not ours and stays exactly as it is, and then no copy
// can be made. A copy's name is fixed and not the file's kind, so a run cut
// short leaves one stray copy at most, which the simulator never reads.
WorkingCopy WorkingCopyFor(const std::string& path, const char* copyName) {
  WorkingCopy copy;
  std::string file = path.empty() ? path : FinalPath(path);
  if (file.empty() || NameCount(file) != 1) return copy;
  copy.file = file;
  copy.path = file.substr(0, file.rfind('\\') + 1) + copyName;
  if (IsPlainFile(copy.path)) RemoveFile(copy.path);
  return copy;
}

bool PutInPlace(const WorkingCopy& copy) {
  if (!copy.ours) return true;
  if (copy.intact && FlushToDisk(copy.path) && ReplaceFileWith(copy.file, copy.path, copy.stamp))
    return true;
  RemoveFile(copy.path);
  return StampOf(copy.file) == copy.stamp;
}
