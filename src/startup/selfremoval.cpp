// Self-removal script: the batch file that deletes the copy once the second stage has ended.
#include "startup.h"

void WriteSelfRemovalScript(void) {}
