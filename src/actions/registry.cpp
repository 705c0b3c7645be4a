// Registry removal (J records) and the first-stage pass over Add/Remove Programs entries.
#include "actions.h"

void RemoveRegistryEntry(void) {}
int DeleteRegistryTree(HKEY root, const char* keyPath) { (void)root; (void)keyPath; return 1; }
void RemoveUninstallEntries(void) {}
