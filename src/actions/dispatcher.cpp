// The action dispatcher: phases, milestones and the handler of each record type.
#include "actions.h"

ActionEntry* g_currentAction;
ActionEntry* g_lastAction;

void RunActions(int earlyPhase) { (void)earlyPhase; }
