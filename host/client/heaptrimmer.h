#pragma once
// Gives the memory of a finished request back to the system. An upload of a large file leaves
// hundreds of megabytes of freed blocks between live ones; the C library keeps them for the
// process unless asked, and a client runs all day.

#include "host_export.h"

namespace DVK {

class HOST_EXPORT CHeapTrimmer
{
public:
    // A request was answered and handed over: the heap is trimmed once the answer has been
    // taken in, a moment after the last of a burst of answers, off the caller's thread.
    static void afterAnswer();
    // How long after the last answer (tests shorten it); 0 trims at once, below 0 never (to
    // measure what the trims are worth).
    static void setDelayMs(int ms);
    // Trims made so far.
    static int trims();
};

} // namespace DVK
