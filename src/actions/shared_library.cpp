// Shared library release (K records): the SharedDLLs reference count.
#include "actions.h"

void ReleaseSharedLibrary(void) {}
