// INI entry removal (M records): a key, a whole section, a section left empty.
#include "actions.h"

void RemoveIniEntry(void) {}
