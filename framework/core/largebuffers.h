#pragma once

#include <framework/core/coreexport.h>

namespace fw {

// A large statement is built, sent and read in buffers of hundreds of kilobytes, one after
// another, on more than one thread. The C library hands each back to the kernel as soon as it
// is freed, and the next one faults its pages in again: on a virtual machine that was most of
// the time such a statement took. Called first thing by a program, this keeps freed memory
// in the process for the next buffer, up to a bound past which it still goes back.
FW_CORE_EXPORT void keepLargeBuffersForReuse();

} // namespace fw
