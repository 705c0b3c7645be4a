// The files the run leaves in the work folder: who owns them, who may change them, and how they are made.
#include "security.h"
#include "common.h"

enum {
    TOKEN_USER_BUFFER = 128,                       // TOKEN_USER with the largest SID, at either pointer size
    ELEVATION_FULL = 2,                            // TokenElevationTypeFull: the elevated half of a split token
    ACCESS_ALL = FILE_ALL_ACCESS,                  // 0x1F01FF
    ACCESS_READ_RUN = FILE_GENERIC_READ | FILE_GENERIC_EXECUTE // 0x1200A9: read, run, see attributes and the list
};

static int MakeWellKnownSid(WELL_KNOWN_SID_TYPE type, DWORD* buffer)
{
    DWORD size = SID_BUFFER;
    return CreateWellKnownSid(type, NULL, buffer, &size) != 0;
}

int PickRunAccount(PSID tokenUser, DWORD elevationType, void* account, DWORD accountSize)
{
    // An elevated administrator's own user also runs the unelevated programs that share its temp
    // folder; an entry for that user would let them change the copy. Administrators is denied to them.
    if (elevationType == ELEVATION_FULL) {
        DWORD administrators[SID_BUFFER / sizeof(DWORD)];
        if (!MakeWellKnownSid(WinBuiltinAdministratorsSid, administrators))
            return 0;
        return CopySid(accountSize, account, administrators) != 0;
    }
    return IsValidSid(tokenUser) && CopySid(accountSize, account, tokenUser) != 0;
}

static int AddFullAccess(PACL acl, PSID sid) { return AddAccessAllowedAce(acl, ACL_REVISION, ACCESS_ALL, sid) != 0; }

int BuildOwnFileSecurity(OwnFileSecurity* security, PSID account)
{
    ZeroBytes(security, sizeof *security);
    if (!IsValidSid(account) || !CopySid(sizeof security->account, security->account, account))
        return 0;
    if (!MakeWellKnownSid(WinLocalSystemSid, security->system) ||
        !MakeWellKnownSid(WinBuiltinAdministratorsSid, security->administrators) ||
        !MakeWellKnownSid(WinWorldSid, security->world))
        return 0;
    PACL acl = (PACL)security->acl;
    if (!InitializeAcl(acl, sizeof security->acl, ACL_REVISION))
        return 0;
    // SYSTEM and Administrators have their own entries; the account gets one only when it is another.
    int separate = !EqualSid(security->account, security->system) && !EqualSid(security->account, security->administrators);
    if ((separate && !AddFullAccess(acl, security->account)) || !AddFullAccess(acl, security->system) ||
        !AddFullAccess(acl, security->administrators) ||
        !AddAccessAllowedAce(acl, ACL_REVISION, ACCESS_READ_RUN, security->world))
        return 0;
    SECURITY_DESCRIPTOR* descriptor = &security->descriptor;
    // Protected: without it the folder's inheritable entries (on c:\ one for every signed-in user) join the list.
    if (!InitializeSecurityDescriptor(descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorOwner(descriptor, security->account, FALSE) ||
        !SetSecurityDescriptorDacl(descriptor, TRUE, acl, FALSE) ||
        !SetSecurityDescriptorControl(descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED)) // 0x1000
        return 0;
    security->attributes.nLength = sizeof security->attributes;
    security->attributes.lpSecurityDescriptor = descriptor;
    security->attributes.bInheritHandle = FALSE;
    return 1;
}

int PrepareOwnFileSecurity(OwnFileSecurity* security)
{
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) // 0x8
        return 0;
    union {
        TOKEN_USER user;
        DWORD_PTR room[TOKEN_USER_BUFFER / sizeof(DWORD_PTR)]; // the SID follows the structure
    } tokenUser;
    DWORD needed = 0;
    int ok = GetTokenInformation(token, TokenUser, &tokenUser, sizeof tokenUser, &needed) != 0;
    // Systems before split tokens do not know the question: they have no elevated half.
    DWORD elevationType = 0;
    if (!GetTokenInformation(token, TokenElevationType, &elevationType, sizeof elevationType, &needed)) // 18
        elevationType = 0;
    CloseHandle(token);
    DWORD account[SID_BUFFER / sizeof(DWORD)];
    return ok && PickRunAccount(tokenUser.user.User.Sid, elevationType, account, sizeof account) &&
           BuildOwnFileSecurity(security, account);
}

HANDLE CreateOwnFile(const char* path)
{
    OwnFileSecurity security;
    if (!PrepareOwnFileSecurity(&security))
        return INVALID_HANDLE_VALUE;
    // A file that was there keeps its owner and access list when written over, so it goes first; its
    // attributes are left alone, since a link of that name would pass them on to its target.
    DeleteFileA(path);
    // CREATE_NEW fails when a file of that name has come back or is still held open; a link put in
    // its place is not followed.
    return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, // 0x1 | 0x4
                       &security.attributes, CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, // 1, 0x80 | 0x200000
                       NULL);
}
