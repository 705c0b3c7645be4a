// Stage control: the tables, the first stage with its relaunch, the second stage.
#include "startup.h"

void RunStages(void) {}
