#include "largebuffers.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace fw {

void keepLargeBuffersForReuse()
{
#ifdef __GLIBC__
    // Buffers up to the size of a large reply come from the heap rather than a mapping of
    // their own each; free memory at the heap's top goes back once it passes the second bound.
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 128 * 1024 * 1024);
#endif
}

} // namespace fw
