// The files the run leaves in the work folder: new files of its own, with an access list that others cannot get past.
#pragma once
#include <windows.h>

// Files this run leaves in the work folder (the copy, the script), where other accounts may create
// files: always a new file of this run, never one that was there. A file of that name is deleted,
// then a new one created that fails if one has come back; it gets OwnFileSecurity. The handle may
// read and write, is not inherited, and is shared for reading and deletion only, so that nobody
// else can open the file for writing while it is open. INVALID_HANDLE_VALUE when it cannot be done.
HANDLE CreateOwnFile(const char* path);

// The access list of those files: the run's account, SYSTEM and Administrators may do anything,
// everyone may read and run; the account is the owner; nothing is inherited from the folder.
enum {
    SID_BUFFER = 68,        // the largest SID (SECURITY_MAX_SID_SIZE)
    OWN_ACL_BUFFER = 512    // four entries with the largest SIDs need 312 bytes
};
struct OwnFileSecurity {
    SECURITY_ATTRIBUTES attributes;  // points at descriptor; handles not inherited
    SECURITY_DESCRIPTOR descriptor;  // absolute: points into this struct, which must stay where it is
    DWORD acl[OWN_ACL_BUFFER / sizeof(DWORD)];
    DWORD account[SID_BUFFER / sizeof(DWORD)];
    DWORD system[SID_BUFFER / sizeof(DWORD)];
    DWORD administrators[SID_BUFFER / sizeof(DWORD)];
    DWORD world[SID_BUFFER / sizeof(DWORD)];
};
// The account that owns what the run creates: the token's user, except for the elevated half of a
// split administrator token (elevation type 2), whose user also runs unelevated programs; then the
// Administrators group. Copies it into account; 0 when it does not fit or cannot be made.
int PickRunAccount(PSID tokenUser, DWORD elevationType, void* account, DWORD accountSize);
// Builds the security for the given account (a SID); 0 when a step fails.
int BuildOwnFileSecurity(OwnFileSecurity* security, PSID account);
// The same for this process's token; 0 when the token cannot be read.
int PrepareOwnFileSecurity(OwnFileSecurity* security);
