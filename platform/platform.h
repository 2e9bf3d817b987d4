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
                 kAlreadyExists = 183, kFileTooLarge = 223;

// File attributes (winnt.h), as Stat tells them and SetAttributes takes them.
constexpr unsigned long kReadOnly = 0x1, kHidden = 0x2, kSystem = 0x4, kFolder = 0x10,
                        kArchive = 0x20, kNormal = 0x80, kReparsePoint = 0x400;

// What a file's folder entry tells.
struct FileStat {
  unsigned long attributes = 0;
  unsigned long long size = 0;
  unsigned long long written = 0;  // the last-write time, in 100 ns steps
};

// The operations, each contract in a line (operations.h). The launcher calls them
// by these names: platform.cpp and files.cpp pass each call straight on to the
// binding's of the same name in namespace win32 (platform_win32.cpp), and a test
// may link its own files.cpp that answers in its place.
namespace win32 {
#include "operations.h"
}
#include "operations.h"
