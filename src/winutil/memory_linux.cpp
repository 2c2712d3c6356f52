#include "winutil/window_utils.h"

#include <malloc.h>

void LimitHeapRetention() {
    // glibc raises its mmap threshold each time a large block is freed, so that later large
    // blocks come from the heap and stay there after they are freed. A fixed threshold keeps
    // blocks of 128 KiB and more (images, icons) in mappings of their own that go back to the
    // system when freed.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    // The program's threads (the X event reader, the D-Bus connection, a power request)
    // allocate next to nothing. One heap for all of them, instead of an arena for each that
    // keeps its own pages: they seldom allocate at the same time.
    mallopt(M_ARENA_MAX, 1);
}

void ReleaseFreedMemory() {
    // glibc keeps freed heap pages mapped for later use; the program allocates next to
    // nothing once it runs, so they would stay private memory for its whole life.
    malloc_trim(0);
}
