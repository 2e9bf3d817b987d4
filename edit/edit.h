// One way to change a simulator file (Prepar3D.cfg, dll.xml): through a working
// copy beside it, which takes the file's place in one step once every change
// reached it, and never over a save that another program made meanwhile. A full
// disk, a quota, a crash or a power cut leaves the file as it was, never cut short.
// The platform (platform.h) answers what Windows answered; what an answer means,
// and whether to try again, is decided here.
#pragma once

#include <string>

#include "files.h"

// Another program's open of a file (a virus scanner, an indexer, a backup client)
// refuses an operation for a moment, well under a second: with a sharing or a lock
// violation, on any file operation; with ERROR_USER_MAPPED_FILE, where it maps the
// file that a write cuts short (the SetEndOfFile page); and with access denied, on
// a rename, a removal or the making of the working copy, which Windows answers so
// while another open holds the name or while it is still being deleted (the
// DeleteFileW page). Such an answer is tried again after kFirstPauseMs, twice that,
// and so on, kMostRetries times (kRetriesMs in all), which outlasts them, while a
// file held for good costs an operation no more.
constexpr unsigned kFirstPauseMs = 25;
constexpr int kMostRetries = 10;
constexpr unsigned kRetriesMs = kFirstPauseMs * kMostRetries * (kMostRetries + 1) / 2;

// True where `answer` is another program's open refusing an operation.
inline bool IsRefusal(Answer answer) {
  return answer == kSharingViolation || answer == kLockViolation || answer == kUserMappedFile;
}

// The same, for an operation that names the file anew (a rename, a removal, the
// making of the working copy), which access denied refuses too.
inline bool IsNamingRefusal(Answer answer) { return IsRefusal(answer) || answer == kAccessDenied; }

// Runs `attempt`, one operation of platform.h, and tries it again while `refused`
// says its answer is a refusal; gives its last answer.
template <typename Attempt>
Answer RetriedWhile(Attempt attempt, bool (*refused)(Answer)) {
  Answer answer;
  for (int retries = 0; refused(answer = attempt()) && retries < kMostRetries;)
    files::Pause(kFirstPauseMs * ++retries);
  return answer;
}

// An operation of platform.h, tried again while it is refused.
template <typename Attempt>
Answer Retried(Attempt attempt) {
  return RetriedWhile(attempt, IsRefusal);
}

// An operation that names the file anew, tried again while it is refused.
template <typename Attempt>
Answer RetriedNaming(Attempt attempt) {
  return RetriedWhile(attempt, IsNamingRefusal);
}

// Reads of a simulator file: the INI value of section/key in the file `path`, tried
// again while it is refused; `fallback` where there is no file, section or key, or
// where the read stays refused (or fails otherwise, or the file holds more than
// kLargestFile). That is noted: a file whose read stayed refused gets no working
// copy in this process, since a fallback stands only for what is absent, and its
// later reads give their fallback at once: one set of retries in all. An empty
// `path` names no file.
std::string ReadIniString(const std::string& section, const std::string& key,
                          const std::string& fallback, const std::string& path);
unsigned ReadIniInt(const std::string& section, const std::string& key, int fallback,
                    const std::string& path);

// What tells one save of a file from the next: its size and last-write time.
struct FileStamp {
  unsigned long long size = 0;
  unsigned long long written = 0;
  bool operator==(const FileStamp& other) const {
    return size == other.size && written == other.written;
  }
};

// One edit of a file: made by BeginEdit, changed by Change, ended by PutInPlace.
// Its fields are the edit's own, for its users to read.
struct Edit {
  std::string path;         // as the caller names it, and reads it
  std::string file;         // the file edited, where a link finally points, where Windows tells it
  WorkingCopy copy;         // in the folder, as Windows spells its path; kept once made
  FileStamp stamp;          // the file's, before the first read; all zero where there was none
  bool existed = false;     // there was a file, which the copy starts as; else it starts empty
  bool changeable = false;  // the file may be changed
  enum State { kUntouched, kWhole, kBroken, kNotMade };
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
// `copyName` in its folder, noting its stamp: call it before the first read. A folder, a
// file with a second name, or one that cannot be told may not be changed; where no
// file is yet, one is made. A copy left by a run cut short goes; anything else in
// its place stays, and then the file may not be changed.
Edit BeginEdit(const std::string& path, const char* copyName);

// Makes the working copy at the first change, unless a read of the file stayed
// refused: true when it is there and took every change so far.
bool MakeCopy(Edit& edit);

// Has `write`, which changes the working copy it is given and gives false when its
// change did not reach it whole, change the copy, made first. Once a change has
// failed, and where the file may not be changed, nothing is written.
template <typename Write>
void Change(Edit& edit, Write write) {
  if (MakeCopy(edit) && !write(edit.copy)) edit.state = Edit::kBroken;
}

// Puts the copy in the file's place if it took every change, is on the disk, is
// still the copy this edit made, and the file is as it was when BeginEdit noted
// it, is not read-only and could be written; where there was no file, by a rename
// that replaces none. Otherwise the file stands and the copy goes, unless another
// file took its name, which stays.
EditOutcome PutInPlace(Edit& edit);

// Runs `pass` on an edit of the file `path` (it reads the file, and changes the
// copy through Change) and puts the copy in place; where another program saved
// the file meanwhile (or removed it, or made it), once more, on what is there then.
// A save during that second pass stays as it was saved.
template <typename Pass>
void EditFile(const std::string& path, const char* copyName, Pass pass) {
  for (int passes = 1; passes <= 2; ++passes) {
    Edit edit = BeginEdit(path, copyName);
    pass(edit);
    if (PutInPlace(edit) != EditOutcome::kSavedMeanwhile) return;
  }
}
