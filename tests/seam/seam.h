// The file operations of platform.h for the tests: each call is passed on to the
// Windows binding through a seam, where a test may answer in Windows' place.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform.h"

// One call of a file operation, as the seam sees it.
struct Access {
  const char* operation;                    // its name in platform.h
  std::vector<std::string> paths;           // the paths it names
  std::string section = {};                 // an INI read's section
  unsigned long addsAttributes = 0;         // a Stat done: attributes the hook adds to its answer
  std::function<void(Answer&)> after = {};  // what the hook makes of the binding's answer
};

// With no hook, the seam passes every call on. A hook sees each call first and
// gives true, with `answer` set, to answer in the binding's place.
extern std::function<bool(Access& access, Answer& answer)> seamHook;
extern bool seamPauses;    // false: Pause returns at once
extern int seamRetrySets;  // the sets of retries begun: pauses of the first length
