// The seam's pause, which counts the sets of retries by the edit's first pause.
#include "edit.h"

void seam::Pause(unsigned ms) {
  seamRetrySets += ms == kFirstPauseMs;
  if (seamPauses) win32::Pause(ms);
}
