// Library calls (C and D records): load, call with text arguments, release.
#include "actions.h"

void CallLibraryFunction(int stopOnZero) { (void)stopOnZero; }
