// The action dispatcher: phases, milestones and the handler of each record type.
#include "actions.h"
#include "../ui/ui.h"

ActionEntry* g_currentAction; // the entry being run; only ever moves forward
ActionEntry* g_lastAction;    // the last entry of ActionList, one before the first when it is empty

enum {
    MILESTONE_BASIC_CHECKS = 3001,  // text 81
    MILESTONE_REGISTRY = 19999,     // text 54
    MILESTONE_INI = 21001,          // text 55
    MILESTONE_FILES = 30001,        // texts 42 and 58
    MILESTONE_LAST_FOLDER = 64999,  // pause before the last folder tree
    PAUSE_BEFORE_LAST_FOLDER = 100  // milliseconds
};

// Progress texts and the pause that precede the entry with this key.
static void RunMilestone(int key)
{
    switch (key) {
    case MILESTONE_BASIC_CHECKS: AddProgressText(81); break;
    case MILESTONE_REGISTRY: AddProgressText(54); break;
    case MILESTONE_INI: AddProgressText(55); break;
    case MILESTONE_FILES: AddProgressText(42); AddProgressText(58); break;
    case MILESTONE_LAST_FOLDER: Sleep(PAUSE_BEFORE_LAST_FOLDER); break;
    default: break;
    }
}

// Letters are matched case-sensitively; every other first byte is passed over.
static void Dispatch(const char* record)
{
    switch (record[0]) {
    case 'B': CheckRunningApplication(); break;
    case 'C': CallLibraryFunction(1); break;
    case 'D': CallLibraryFunction(0); break;
    case 'E': LaunchProgram(); break;
    case 'J': RemoveRegistryEntry(); break;
    case 'K': ReleaseSharedLibrary(); break;
    case 'M': RemoveIniEntry(); break;
    case 'P': RemoveFilesAction(0); break;
    case 'U': RemoveFilesAction(1); break;
    default: break;
    }
}

void RunActions(int earlyPhase)
{
    // Without a list there is nothing to walk; a null cursor must not be advanced.
    if (!g_currentAction || !g_lastAction)
        return;
    if (!earlyPhase)
        while (g_currentAction <= g_lastAction && g_currentAction->key < PHASE_BOUNDARY)
            g_currentAction++;
    while (g_currentAction <= g_lastAction) {
        if (earlyPhase && g_currentAction->key >= PHASE_BOUNDARY)
            return;
        RunMilestone(g_currentAction->key);
        Dispatch(g_currentAction->record);
        g_currentAction++;
    }
}
