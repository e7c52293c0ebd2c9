// Background work at start-up (music decoding, image reading) runs at a lower priority
// than the main thread: on a busy machine it then takes the time the main thread leaves
// idle (waits on the window system, on the rasteriser) rather than time from it.
#pragma once

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

// Nice value of background threads; Linux applies it to the calling thread alone.
constexpr int kBackgroundNice = 10;

inline void lowerThisThreadsPriority() {
  setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), kBackgroundNice);
}
