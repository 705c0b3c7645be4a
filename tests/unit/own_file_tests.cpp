// Files of the run's own in the work folder: the account that owns them, their access list, never a file that was there, the copy held until its start.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "access.h"
#include "early_support.h"
#include "common/common.h"
#include "common/security.h"
#include "startup/startup.h"

using namespace fixtures;

namespace {

const unsigned char CANARY = 0x5A;

// A SID from its text form, kept in a buffer of its own.
std::vector<BYTE> SidFrom(const std::string& text)
{
    PSID sid = NULL;
    if (!ConvertStringSidToSidA(text.c_str(), &sid))
        return std::vector<BYTE>();
    std::vector<BYTE> out((BYTE*)sid, (BYTE*)sid + GetLengthSid(sid));
    LocalFree(sid);
    return out;
}

// Whether another open of the file for writing, with all sharing, is refused, and with what error.
DWORD WriteOpenError(const std::string& path)
{
    HANDLE other = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                               OPEN_EXISTING, 0, NULL);
    if (other == INVALID_HANDLE_VALUE)
        return GetLastError();
    CloseHandle(other);
    return 0;
}

bool CanOpenForReading(const std::string& path)
{
    HANDLE other = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                               OPEN_EXISTING, 0, NULL);
    if (other == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(other);
    return true;
}

// The bytes a handle reads from the start of its file.
std::string ReadThrough(HANDLE file)
{
    SetFilePointer(file, 0, NULL, FILE_BEGIN);
    char buffer[256];
    DWORD n = 0;
    if (!ReadFile(file, buffer, sizeof buffer, &n, NULL))
        return "<read failed>";
    return std::string(buffer, n);
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

} // namespace

TEST(OwnFileSecurity, AccountOfTheRun)
{
    const std::string user = "S-1-5-21-1-2-3-1001";
    const DWORD userSize = 28;  // 8 bytes and five sub-authorities
    const DWORD adminSize = 16; // 8 bytes and two sub-authorities
    struct Row { std::string tokenUser; DWORD elevation; DWORD size; int result; std::string account; } rows[] = {
        /*0 no split token*/ {user, TokenElevationTypeDefault, 68, 1, user},
        /*1 the unelevated half*/ {user, TokenElevationTypeLimited, 68, 1, user},
        /*2 the elevated half*/ {user, TokenElevationTypeFull, 68, 1, SID_ADMINISTRATORS},
        /*3 a system that cannot tell*/ {user, 0, 68, 1, user},
        /*4 SYSTEM*/ {SID_SYSTEM, TokenElevationTypeDefault, 68, 1, SID_SYSTEM},
        /*5 fits exactly*/ {user, TokenElevationTypeDefault, userSize, 1, user},
        /*6 one too small*/ {user, TokenElevationTypeDefault, userSize - 1, 0, ""},
        /*7 far too small*/ {user, TokenElevationTypeDefault, 4, 0, ""},
        /*8 Administrators fits exactly*/ {user, TokenElevationTypeFull, adminSize, 1, SID_ADMINISTRATORS},
        /*9 Administrators one too small*/ {user, TokenElevationTypeFull, adminSize - 1, 0, ""},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        Row& r = rows[i];
        std::vector<BYTE> tokenUser = SidFrom(r.tokenUser);
        ASSERT_FALSE(tokenUser.empty()) << "row " << i;
        std::vector<BYTE> account(r.size + 1, 0);
        account[r.size] = CANARY;
        int result = PickRunAccount(tokenUser.data(), r.elevation, account.data(), r.size);
        EXPECT_EQ(r.result, result) << "row " << i << " user " << r.tokenUser << " elevation " << r.elevation << " size " << r.size;
        if (result)
            EXPECT_EQ(r.account, SidText(account.data())) << "row " << i;
        EXPECT_EQ(CANARY, account[r.size]) << "row " << i << " wrote past the buffer";
    }
}

TEST(OwnFileSecurity, AccessListForEachAccount)
{
    struct Row { std::string account; } rows[] = {
        /*0 a user*/ {"S-1-5-21-1-2-3-1001"},
        /*1 SYSTEM: no second entry*/ {SID_SYSTEM},
        /*2 Administrators: no second entry*/ {SID_ADMINISTRATORS},
        /*3 the largest SID there is (15 sub-authorities): four entries still fit*/
        {"S-1-5-21-1-2-3-4-5-6-7-8-9-10-11-12-13-14"},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        std::vector<BYTE> account = SidFrom(rows[i].account);
        ASSERT_FALSE(account.empty()) << "row " << i;
        OwnFileSecurity security;
        ASSERT_EQ(1, BuildOwnFileSecurity(&security, account.data())) << "row " << i << " " << rows[i].account;
        EXPECT_TRUE(IsValidSecurityDescriptor(&security.descriptor)) << "row " << i;
        FileAccess access = AccessOfDescriptor(&security.descriptor);
        EXPECT_TRUE(access.hasList) << "row " << i;
        EXPECT_TRUE(access.isProtected) << "row " << i << ": the folder's inheritable entries would join";
        EXPECT_EQ(rows[i].account, access.owner) << "row " << i;
        EXPECT_EQ(Describe(ExpectedOwnAccess(rows[i].account)), Describe(access.entries)) << "row " << i;
        EXPECT_EQ(sizeof security.attributes, security.attributes.nLength) << "row " << i;
        EXPECT_EQ((void*)&security.descriptor, security.attributes.lpSecurityDescriptor) << "row " << i;
        EXPECT_FALSE(security.attributes.bInheritHandle) << "row " << i << ": started programs would get the handle";
    }
}

// Whatever lay at the name before, the run never writes into it: it makes a new file or none.
TEST(CreateOwnFile, NeverWritesIntoAFileThatWasThere)
{
    enum Before { NOTHING, PLAIN, HELD_SHARING_ALL, HELD_NO_DELETE, READ_ONLY, FOLDER };
    enum Outcome { CREATED, REFUSED, EITHER };
    const std::string planted = "planted by the test";
    struct Row { const char* what; Before before; Outcome outcome; } rows[] = {
        /*0*/ {"nothing there", NOTHING, CREATED},
        /*1*/ {"a file left there", PLAIN, CREATED},
        // Deleting a file that is held open with delete sharing only marks it on older systems and
        // Wine, and a new file of that name cannot be made until it goes; newer systems free the name.
        /*2*/ {"a file held with read, write and delete sharing", HELD_SHARING_ALL, EITHER},
        /*3*/ {"a file held without delete sharing", HELD_NO_DELETE, REFUSED},
        /*4*/ {"a read-only file", READ_ONLY, REFUSED},
        /*5*/ {"a folder", FOLDER, REFUSED},
    };
    std::string folder = early::FreshFolder("CreateOwnFile");
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        Row& r = rows[i];
        std::string where = "row " + std::to_string(i) + " (" + r.what + ")";
        std::string path = folder + "\\own" + std::to_string(i) + ".bin";
        HANDLE held = INVALID_HANDLE_VALUE;
        if (r.before == PLAIN || r.before == READ_ONLY)
            ASSERT_TRUE(early::WriteFileText(path, planted)) << where;
        if (r.before == READ_ONLY)
            ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY)) << where;
        if (r.before == FOLDER)
            ASSERT_TRUE(CreateDirectoryA(path.c_str(), NULL)) << where;
        if (r.before == HELD_SHARING_ALL || r.before == HELD_NO_DELETE) {
            DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | (r.before == HELD_SHARING_ALL ? FILE_SHARE_DELETE : 0);
            held = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, share, NULL, CREATE_ALWAYS, 0, NULL);
            ASSERT_NE(INVALID_HANDLE_VALUE, held) << where;
            DWORD n = 0;
            ASSERT_TRUE(WriteFile(held, planted.data(), (DWORD)planted.size(), &n, NULL)) << where;
        }

        HANDLE file = CreateOwnFile(path.c_str());
        DWORD error = GetLastError();
        bool created = file != INVALID_HANDLE_VALUE;
        if (r.outcome != EITHER)
            EXPECT_EQ(r.outcome == CREATED, created) << where << " error " << error;
        if (created) {
            DWORD n = 0;
            EXPECT_TRUE(WriteFile(file, "ours", 4, &n, NULL)) << where;
            // While the handle is open nobody else may write into the file; reading is as usual.
            EXPECT_EQ((DWORD)ERROR_SHARING_VIOLATION, WriteOpenError(path)) << where;
            EXPECT_TRUE(CanOpenForReading(path)) << where;
            CloseHandle(file);
            EXPECT_EQ("ours", early::ReadFileText(path)) << where << ": the new file holds what the run wrote, and only that";
            EXPECT_EQ("", OwnAccessFault(path)) << where;
        } else if (r.before == PLAIN || r.before == READ_ONLY) {
            EXPECT_EQ(planted, early::ReadFileText(path)) << where << ": refused, yet the file changed";
        } else if (r.before == FOLDER) {
            DWORD attributes = GetFileAttributesA(path.c_str());
            EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) << where;
        }
        if (held != INVALID_HANDLE_VALUE) {
            // The holder's file is the holder's: same bytes, same size, whatever became of its name.
            EXPECT_EQ(planted, ReadThrough(held)) << where << ": the run wrote into the held file";
            EXPECT_EQ((DWORD)planted.size(), GetFileSize(held, NULL)) << where;
            CloseHandle(held);
        }
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    early::DeleteTree(folder);
}

// The copy: the source's bytes whole in a new file, held open for writing, then held for the start
// only if it is still the file written.
TEST(StageCopy, WrittenWholeAndHeldUntilTheStart)
{
    enum Meanwhile { UNTOUCHED, DELETED, REPLACED, NO_SOURCE };
    struct Row { const char* what; size_t size; Meanwhile meanwhile; bool held; } rows[] = {
        /*0*/ {"empty source", 0, UNTOUCHED, true},
        /*1*/ {"one read exactly", 4096, UNTOUCHED, true},
        /*2*/ {"one byte into a second read", 4097, UNTOUCHED, true},
        /*3*/ {"several reads", 30000, UNTOUCHED, true},
        /*4*/ {"deleted before the start", 5000, DELETED, false},
        /*5*/ {"moved away and another file put in its place", 5000, REPLACED, false},
        /*6*/ {"no source", 0, NO_SOURCE, false},
    };
    std::string folder = early::FreshFolder("StageCopy");
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        Row& r = rows[i];
        std::string where = "row " + std::to_string(i) + " (" + r.what + ")";
        std::string source = folder + "\\source" + std::to_string(i) + ".exe";
        std::string copy = folder + "\\copy" + std::to_string(i) + ".exe";
        std::string bytes;
        for (size_t k = 0; k < r.size; k++)
            bytes += (char)('a' + (k * 7 + k / 26) % 26);
        if (r.meanwhile != NO_SOURCE)
            ASSERT_TRUE(early::WriteFileText(source, bytes)) << where;
        early::WriteFileText(copy, "left from before");

        HANDLE written = WriteOwnCopy(source.c_str(), copy.c_str());
        if (r.meanwhile == NO_SOURCE) {
            EXPECT_EQ(INVALID_HANDLE_VALUE, written) << where;
            EXPECT_EQ("left from before", early::ReadFileText(copy)) << where << ": nothing to copy, yet the old file went";
            continue;
        }
        ASSERT_NE(INVALID_HANDLE_VALUE, written) << where;
        EXPECT_EQ((DWORD)ERROR_SHARING_VIOLATION, WriteOpenError(copy)) << where << ": writable by others while written";
        EXPECT_EQ(bytes, early::ReadFileText(copy)) << where;
        std::string other = folder + "\\moved" + std::to_string(i) + ".exe";
        if (r.meanwhile == DELETED)
            EXPECT_TRUE(DeleteFileA(copy.c_str())) << where << " error " << GetLastError();
        if (r.meanwhile == REPLACED) {
            EXPECT_TRUE(MoveFileA(copy.c_str(), other.c_str())) << where << " error " << GetLastError();
            ASSERT_TRUE(early::WriteFileText(copy, "put in its place")) << where;
        }

        HANDLE image = HoldCopyForStart(written, copy.c_str());
        EXPECT_EQ(r.held, image != INVALID_HANDLE_VALUE) << where;
        if (image != INVALID_HANDLE_VALUE) {
            // Until the start nobody may write, rename or delete it; it can be read and run.
            EXPECT_EQ((DWORD)ERROR_SHARING_VIOLATION, WriteOpenError(copy)) << where;
            EXPECT_FALSE(DeleteFileA(copy.c_str())) << where << ": deleted while held for the start";
            EXPECT_FALSE(MoveFileA(copy.c_str(), other.c_str())) << where << ": renamed while held for the start";
            EXPECT_TRUE(CanOpenForReading(copy)) << where;
            EXPECT_EQ(bytes, early::ReadFileText(copy)) << where;
            CloseHandle(image);
            EXPECT_EQ("", OwnAccessFault(copy)) << where;
        }
        if (r.meanwhile == REPLACED)
            EXPECT_EQ("put in its place", early::ReadFileText(copy)) << where << ": the other file was changed";
        if (r.meanwhile == DELETED)
            EXPECT_FALSE(Exists(copy)) << where;
    }
    early::DeleteTree(folder);
}
