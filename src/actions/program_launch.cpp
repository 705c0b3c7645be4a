// Program launch (E records): start under the short path and wait.
#include "actions.h"

void LaunchProgram(void) {}
