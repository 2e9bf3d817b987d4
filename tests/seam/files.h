// The file operations as the tests compile the launcher's code: through the seam.
#pragma once

#include "seam.h"

namespace files = seam;
