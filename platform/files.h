// The file operations as the launcher calls them, files::Stat and so on: here,
// the binding's (platform.h). The tests compile the launcher's code once more
// against their own files.h (tests/seam), whose operations may answer in Windows'
// place; so no hook, flag or function pointer for a test is in the launcher.
#pragma once

#include "platform.h"

namespace files = win32;
