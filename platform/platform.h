// The operating-system operations the launcher uses, as plain functions.
// Texts are UTF-8 unless stated; they cross to Windows in UTF-16, so that every
// path means what it says whatever the system's ANSI code page.
#pragma once

#include <string>
#include <vector>

// Space handed to the platform for environment and INI text values, in UTF-16
// characters, terminating zero included.
constexpr unsigned kReadLimit = 1023;

// What Windows answered: its system error code (winerror.h), 0 where the
// operation was done. These are the ones the launcher tells apart.
using Answer = unsigned long;
constexpr Answer kDone = 0, kFileNotFound = 2, kPathNotFound = 3, kAccessDenied = 5,
                 kSharingViolation = 32, kLockViolation = 33, kFileExists = 80, kDiskFull = 112,
                 kAlreadyExists = 183, kFileTooLarge = 223, kUserMappedFile = 1224;
// An answer of the launcher's own (Windows leaves bit 29 of an error code to
// programs): the file at a working copy's name is not that copy.
constexpr Answer kNotTheCopy = 0x20000002;

// The most a file the launcher reads may hold: more than any settings file or
// module list a simulator writes. A larger one is not read, and stays as it is.
constexpr unsigned long kLargestFile = 1 << 20;

// What CheckRoom writes and cuts off again: more than a cluster.
constexpr unsigned long kRoom = 64 * 1024;
constexpr unsigned long long kUnmeasured = ~0ull;  // a length CheckRoom measures itself

// File attributes (winnt.h), as Stat tells them and SetAttributes takes them.
constexpr unsigned long kReadOnly = 0x1, kHidden = 0x2, kSystem = 0x4, kFolder = 0x10,
                        kArchive = 0x20, kNormal = 0x80, kReparsePoint = 0x400;

// What a file's folder entry tells.
struct FileStat {
  unsigned long attributes = 0;
  unsigned long long size = 0;
  unsigned long long written = 0;  // the last-write time, in 100 ns steps
};

// A working copy the launcher made beside a file: its path, and a handle kept
// from its making that asks for its attributes alone (such an open takes no part
// in sharing, the CreateFileW page, so that the profile functions can still open
// the copy). An operation on a working copy opens the file at its name and answers
// kNotTheCopy where that is another file than the one `kept` holds (by volume
// serial number and file index, the GetFileInformationByHandle page); a `kept` of
// nullptr names whatever file is there.
struct WorkingCopy {
  std::string path;
  void* kept = nullptr;
};

// The operations, each contract in a line (operations.h). The launcher calls them
// by these names: platform.cpp and files.cpp pass each call straight on to the
// binding's of the same name in namespace win32 (platform_win32.cpp), and a test
// may link its own files.cpp that answers in its place.
namespace win32 {
#include "operations.h"
}
#include "operations.h"
