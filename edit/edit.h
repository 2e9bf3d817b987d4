// One way to change a simulator file (Prepar3D.cfg, dll.xml): through a working
// copy beside it, which takes the file's place in one step once every change
// reached it, and never over a save that another program made meanwhile. A full
// disk, a quota, a crash or a power cut leaves the file as it was, never cut short.
#pragma once

#include <string>

#include "platform.h"

// One edit of a file: made by BeginEdit, changed by Change, ended by PutInPlace.
// Its fields are the edit's own, for its users to read.
struct Edit {
  std::string file;      // the file edited, where a link finally points; empty: none may be
  std::string copy;      // the working copy beside it
  FileStamp stamp;       // the file's, before the first read; all zero where there was none
  bool existed = false;  // there was a file, which the copy starts as; else it starts empty
  enum State { kUntouched, kWhole, kBroken, kRefused };
  State state = kUntouched;  // the copy: not asked for, took every change, a change
                             // failed, could not be made
};

// What putting the copy in place came to.
enum class EditOutcome {
  kNothingToChange,  // no change was asked for, and the file was not saved meanwhile
  kReplaced,         // the copy took the file's place, or became it where there was none
  kSavedMeanwhile,   // the file's stamp is not the one noted before the first read
  kRefused,          // any other failure: the file stands as it was, and the copy went
};

// Begins an edit of the file that `path` finally names, with the working copy
// `copyName` (no longer than the file's own name, so that it fits wherever the
// file's path fits), noting its stamp: call it before the first read. A file with
// a second name, or one that cannot be opened, may not be changed; a path where
// no file is yet, may: the file is then made. A copy left by a run cut short goes.
Edit BeginEdit(const std::string& path, const char* copyName);

// Makes the working copy at the first change: true when it is there and took
// every change so far.
bool MakeCopy(Edit& edit);

// Has `write`, which changes the file `edit.copy` and gives false when its change
// did not reach it whole, change the copy, made first. Once a change has failed,
// and where the file may not be changed, nothing is written.
template <typename Write>
void Change(Edit& edit, Write write) {
  if (MakeCopy(edit) && !write(edit.copy)) edit.state = Edit::kBroken;
}

// Puts the copy in the file's place if it took every change, is on the disk, and
// the file is as it was when BeginEdit noted it, is not read-only and could be
// written; where there was no file, by a rename that replaces none. Otherwise the
// file stands and the copy goes.
EditOutcome PutInPlace(const Edit& edit);

// Runs `pass` on an edit of the file `path` (it reads the file, and changes the
// copy through Change) and puts the copy in place; where another program saved
// the file meanwhile, once more, on what it saved. A save during that second pass
// stays as it was saved.
template <typename Pass>
void EditFile(const std::string& path, const char* copyName, Pass pass) {
  for (int passes = 1; passes <= 2; ++passes) {
    Edit edit = BeginEdit(path, copyName);
    pass(edit);
    if (PutInPlace(edit) != EditOutcome::kSavedMeanwhile) return;
  }
}
