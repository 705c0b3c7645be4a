// Owner and access list of a file read back, for the in-process and system tests of the files the run makes.
#pragma once
#include <windows.h>
#include <sddl.h>
#include <sstream>
#include <string>
#include <vector>
#include "fixtures.h"

namespace fixtures {

const char* const SID_SYSTEM = "S-1-5-18";
const char* const SID_ADMINISTRATORS = "S-1-5-32-544";
const char* const SID_EVERYONE = "S-1-1-0";
const DWORD MASK_ALL = 0x1F01FF;       // FILE_ALL_ACCESS
const DWORD MASK_READ_RUN = 0x1200A9;  // FILE_GENERIC_READ | FILE_GENERIC_EXECUTE
// Every right through which a file can be changed, renamed, deleted or handed to someone else.
const DWORD MASK_CHANGE = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_WRITE_ATTRIBUTES | DELETE |
                          WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

struct AccessEntry {
    std::string sid;
    int type;    // ACCESS_ALLOWED_ACE_TYPE 0, ACCESS_DENIED_ACE_TYPE 1, ...
    int flags;   // inheritance flags
    DWORD mask;
    bool operator==(const AccessEntry& o) const { return sid == o.sid && type == o.type && flags == o.flags && mask == o.mask; }
};

struct FileAccess {
    bool read = false;         // the descriptor could be read at all
    bool hasList = false;      // it has an access list (a null one would let everyone in)
    bool isProtected = false;  // SE_DACL_PROTECTED: nothing inherited from the folder
    std::string owner;
    std::vector<AccessEntry> entries;
};

inline std::string SidText(PSID sid)
{
    char* text = NULL;
    if (!sid || !ConvertSidToStringSidA(sid, &text))
        return "<no sid>";
    std::string out = text;
    LocalFree(text);
    return out;
}

inline FileAccess AccessOfDescriptor(PSECURITY_DESCRIPTOR descriptor)
{
    FileAccess access;
    access.read = true;
    PSID owner = NULL;
    BOOL defaulted = FALSE;
    if (GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) && owner)
        access.owner = SidText(owner);
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (GetSecurityDescriptorControl(descriptor, &control, &revision))
        access.isProtected = (control & SE_DACL_PROTECTED) != 0;
    BOOL present = FALSE;
    PACL acl = NULL;
    if (!GetSecurityDescriptorDacl(descriptor, &present, &acl, &defaulted) || !present || !acl)
        return access;
    access.hasList = true;
    for (DWORD i = 0; i < acl->AceCount; i++) {
        ACE_HEADER* header = NULL;
        if (!GetAce(acl, i, (void**)&header))
            break;
        AccessEntry entry = {"<other type>", header->AceType, header->AceFlags, 0};
        if (header->AceType == ACCESS_ALLOWED_ACE_TYPE || header->AceType == ACCESS_DENIED_ACE_TYPE) {
            ACCESS_ALLOWED_ACE* ace = (ACCESS_ALLOWED_ACE*)header;
            entry.sid = SidText(&ace->SidStart);
            entry.mask = ace->Mask;
        }
        access.entries.push_back(entry);
    }
    return access;
}

inline FileAccess ReadFileAccess(const std::string& path)
{
    std::vector<char> buffer(4096);
    DWORD needed = 0;
    SECURITY_INFORMATION what = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    if (!GetFileSecurityA(path.c_str(), what, buffer.data(), (DWORD)buffer.size(), &needed)) {
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER)
            return FileAccess();
        buffer.resize(needed);
        if (!GetFileSecurityA(path.c_str(), what, buffer.data(), (DWORD)buffer.size(), &needed))
            return FileAccess();
    }
    return AccessOfDescriptor(buffer.data());
}

// What the run gives its files for the account that owns them: the account (unless it is SYSTEM or
// Administrators, which have entries of their own), SYSTEM and Administrators everything, everyone
// reading and running; nothing inherited.
inline std::vector<AccessEntry> ExpectedOwnAccess(const std::string& account)
{
    std::vector<AccessEntry> entries;
    if (account != SID_SYSTEM && account != SID_ADMINISTRATORS)
        entries.push_back({account, ACCESS_ALLOWED_ACE_TYPE, 0, MASK_ALL});
    entries.push_back({SID_SYSTEM, ACCESS_ALLOWED_ACE_TYPE, 0, MASK_ALL});
    entries.push_back({SID_ADMINISTRATORS, ACCESS_ALLOWED_ACE_TYPE, 0, MASK_ALL});
    entries.push_back({SID_EVERYONE, ACCESS_ALLOWED_ACE_TYPE, 0, MASK_READ_RUN});
    return entries;
}

// The entries that let someone other than the given accounts change the file.
inline std::vector<AccessEntry> ChangeGrantedToOthers(const FileAccess& access, const std::vector<std::string>& allowed)
{
    std::vector<AccessEntry> others;
    for (const AccessEntry& e : access.entries) {
        bool mayChange = e.type == ACCESS_ALLOWED_ACE_TYPE && (e.mask & MASK_CHANGE);
        bool isAllowed = false;
        for (const std::string& a : allowed)
            isAllowed = isAllowed || a == e.sid;
        if (mayChange && !isAllowed)
            others.push_back(e);
    }
    return others;
}

inline std::string Describe(const std::vector<AccessEntry>& entries)
{
    std::ostringstream out;
    for (const AccessEntry& e : entries)
        out << "[" << e.sid << " type " << e.type << " flags " << e.flags << " mask 0x" << std::hex << e.mask << std::dec << "]";
    return entries.empty() ? "[none]" : out.str();
}

// The user of this process's token, as text.
inline std::string TokenUserText()
{
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return "";
    DWORD_PTR buffer[64];
    DWORD needed = 0;
    std::string out;
    if (GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &needed))
        out = SidText(((TOKEN_USER*)buffer)->User.Sid);
    CloseHandle(token);
    return out;
}

// The account whose files the run makes, for a run with this process's token: the token's user, or
// Administrators for the elevated half of a split token.
inline std::string ExpectedRunAccount()
{
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return "";
    DWORD type = 0, needed = 0;
    if (!GetTokenInformation(token, TokenElevationType, &type, sizeof type, &needed))
        type = 0;
    CloseHandle(token);
    return type == TokenElevationTypeFull ? SID_ADMINISTRATORS : TokenUserText();
}

// What is wrong with the owner and access list of a file that a run with this process's token
// made; empty when nothing is. Where the system keeps the list given (it comes back protected) it
// must be exactly the run's. Known Wine difference: Wine keeps no access list for a file; it turns
// the given one into Unix mode bits and shows a list made from those (SYSTEM, the Unix owner as the
// token's user, everyone), never protected. There only the entries for others say something: none
// may let them change the file.
inline std::string OwnAccessFault(const std::string& path)
{
    FileAccess access = ReadFileAccess(path);
    if (!access.read)
        return "no security descriptor for " + path;
    if (!access.hasList)
        return "no access list: everyone may do anything with " + path;
    std::string account = ExpectedRunAccount();
    if (access.isProtected) {
        std::string expected = Describe(ExpectedOwnAccess(account)), found = Describe(access.entries);
        if (access.owner != account || expected != found)
            return "owner " + access.owner + " list " + found + ", expected owner " + account + " list " + expected;
        return "";
    }
    if (!IsWine())
        return "the list came back unprotected: " + Describe(access.entries);
    std::vector<AccessEntry> others = ChangeGrantedToOthers(access, {account, SID_SYSTEM, SID_ADMINISTRATORS, TokenUserText()});
    return others.empty() ? "" : "others may change " + path + ": " + Describe(others);
}

} // namespace fixtures
