#include "window_utils.h"

#include <malloc.h>

void ReleaseFreedMemory() {
    // glibc keeps freed heap pages mapped for later use; the program allocates next to
    // nothing once it runs, so they would stay private memory for its whole life.
    malloc_trim(0);
}
