// Host implementations of the Windows calls the parsing code makes, over memory and recorded boxes.
#include "windows.h"
#include "host.h"
#include <map>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

std::vector<HostBox> g_hostBoxes;
int g_hostBoxAnswer = IDYES;
jmp_buf g_hostExit;
int g_hostExitArmed;
int g_hostExitCount;
std::string g_hostCommandLine;

namespace {
struct MemoryFile {
    std::string content;
    size_t readLimit;
};
struct OpenFile {
    const MemoryFile* file;
    size_t position;
    size_t handedOut;
};
std::map<std::string, MemoryFile> files;
std::map<OpenFile*, bool> handles;
std::map<const char*, size_t> blocks;

int Fold(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') ? c + 32 : c;
}
} // namespace

void HostSetFile(const std::string& name, const std::string& content, size_t readLimit)
{
    files[name] = MemoryFile{content, readLimit};
}

void HostClearFiles()
{
    files.clear();
}

int HostOpenHandles()
{
    return (int)handles.size();
}

size_t HostLiveBlocks()
{
    return blocks.size();
}

void HostReleaseAllBlocks()
{
    for (auto& b : blocks)
        free((void*)b.first);
    blocks.clear();
}

bool HostBlockOf(const void* p, const char** start, size_t* size)
{
    const char* c = (const char*)p;
    auto it = blocks.upper_bound(c);
    if (it == blocks.begin())
        return false;
    --it;
    if (c < it->first || c >= it->first + it->second)
        return false;
    *start = it->first;
    *size = it->second;
    return true;
}

extern "C" {

// Case folded for ASCII letters only, then byte order, then length: a total order whose
// equality is "equal ignoring case", which is all the sets need. Lengths of -1 mean "up to
// the zero"; an explicit length reads exactly that many bytes, so ASan sees any over-read.
int CompareStringA(LCID, DWORD flags, const char* a, int aLength, const char* b, int bLength)
{
    if (!a || !b || aLength < -1 || bLength < -1)
        return 0;
    size_t na = aLength == -1 ? strlen(a) : (size_t)aLength;
    size_t nb = bLength == -1 ? strlen(b) : (size_t)bLength;
    size_t n = na < nb ? na : nb;
    for (size_t i = 0; i < n; i++) {
        int x = (unsigned char)a[i], y = (unsigned char)b[i];
        if (flags & NORM_IGNORECASE) {
            x = Fold((unsigned char)x);
            y = Fold((unsigned char)y);
        }
        if (x != y)
            return x < y ? CSTR_LESS_THAN : CSTR_GREATER_THAN;
    }
    if (na == nb)
        return CSTR_EQUAL;
    return na < nb ? CSTR_LESS_THAN : CSTR_GREATER_THAN;
}

// The sort key of that order: the text folded as CompareStringA folds it, then a zero, which sorts
// below every byte of a text; compared byte by byte the keys order as CompareStringA does. A
// destination size of 0 asks for the key's size; a smaller destination gets nothing.
int LCMapStringA(LCID, DWORD flags, const char* source, int sourceLength, char* destination, int destinationSize)
{
    if (!source || sourceLength != -1 || !(flags & LCMAP_SORTKEY) || destinationSize < 0)
        return 0;
    size_t n = strlen(source) + 1;
    if (destinationSize == 0)
        return (int)n;
    if ((size_t)destinationSize < n || !destination)
        return 0;
    for (size_t i = 0; i < n; i++)
        destination[i] = (char)((flags & NORM_IGNORECASE) ? Fold((unsigned char)source[i]) : (unsigned char)source[i]);
    return (int)n;
}

int lstrlenA(const char* text)
{
    return text ? (int)strlen(text) : 0;
}

HANDLE CreateFileA(const char* path, DWORD access, DWORD, void*, DWORD creation, DWORD, HANDLE)
{
    if (!path)
        return INVALID_HANDLE_VALUE;
    if (creation == CREATE_ALWAYS && (access & GENERIC_WRITE))
        files[path] = MemoryFile{std::string(), (size_t)-1};
    auto it = files.find(path);
    if (it == files.end())
        return INVALID_HANDLE_VALUE;
    OpenFile* handle = new OpenFile{&it->second, 0, 0};
    handles[handle] = true;
    return handle;
}

static OpenFile* Lookup(HANDLE handle)
{
    auto it = handles.find((OpenFile*)handle);
    if (it == handles.end()) {
        fprintf(stderr, "host: use of a handle that is not open\n");
        abort();
    }
    return it->first;
}

BOOL ReadFile(HANDLE file, void* buffer, DWORD count, DWORD* read, void*)
{
    OpenFile* f = Lookup(file);
    size_t left = f->position < f->file->content.size() ? f->file->content.size() - f->position : 0;
    size_t allowed = f->file->readLimit == (size_t)-1 ? left : f->file->readLimit - f->handedOut;
    size_t n = count;
    if (n > left)
        n = left;
    if (n > allowed)
        n = allowed;
    // The whole destination is written to as far as the caller said, as a real read may.
    if (n)
        memcpy(buffer, f->file->content.data() + f->position, n);
    f->position += n;
    f->handedOut += n;
    if (read)
        *read = (DWORD)n;
    return TRUE;
}

DWORD GetFileSize(HANDLE file, DWORD* high)
{
    OpenFile* f = Lookup(file);
    if (high)
        *high = (DWORD)((uint64_t)f->file->content.size() >> 32);
    return (DWORD)f->file->content.size();
}

DWORD SetFilePointer(HANDLE file, LONG distance, LONG*, DWORD method)
{
    OpenFile* f = Lookup(file);
    if (method != FILE_BEGIN || distance < 0)
        return (DWORD)-1;
    f->position = (size_t)distance;
    return (DWORD)distance;
}

BOOL CloseHandle(HANDLE handle)
{
    OpenFile* f = Lookup(handle);
    handles.erase(f);
    delete f;
    return TRUE;
}

DWORD GetFileAttributesA(const char* path)
{
    return files.count(path) ? FILE_ATTRIBUTE_NORMAL : INVALID_FILE_ATTRIBUTES;
}

// Blocks come from malloc so that AddressSanitizer guards their ends.
void* VirtualAlloc(void*, size_t size, DWORD, DWORD)
{
    if (size == 0)
        return 0;
    char* block = (char*)calloc(1, size);
    if (block)
        blocks[block] = size;
    return block;
}

BOOL VirtualFree(void* address, size_t size, DWORD type)
{
    auto it = blocks.find((const char*)address);
    if (it == blocks.end() || size != 0 || type != MEM_RELEASE) {
        fprintf(stderr, "host: VirtualFree of %p that is not a block start (size %zu, type 0x%x)\n", address, size, type);
        abort();
    }
    free(address);
    blocks.erase(it);
    return TRUE;
}

int MessageBoxA(HWND, const char* text, const char* caption, UINT style)
{
    g_hostBoxes.push_back(HostBox{text ? text : "", caption ? caption : "", style});
    return g_hostBoxAnswer;
}

// Like the system's: at most 1024 bytes written, terminating zero included.
int wsprintfA(char* destination, const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    int n = vsnprintf(destination, 1024, format, arguments);
    va_end(arguments);
    return n > 1023 ? 1023 : n;
}

void ExitProcess(UINT)
{
    g_hostExitCount++;
    if (g_hostExitArmed)
        longjmp(g_hostExit, 1);
    fprintf(stderr, "host: ExitProcess without a target to return to\n");
    abort();
}

const char* GetCommandLineA(void)
{
    return g_hostCommandLine.c_str();
}

HMODULE GetModuleHandleA(const char*)
{
    return (HMODULE)1;
}

DWORD GetModuleFileNameA(HMODULE, char* buffer, DWORD size)
{
    const char* path = "C:\\App\\uninst.exe";
    size_t n = strlen(path);
    if (size == 0)
        return 0;
    if (n >= size)
        n = size - 1;
    memcpy(buffer, path, n);
    buffer[n] = 0;
    return (DWORD)n;
}

DWORD GetTempPathA(DWORD size, char* buffer)
{
    const char* path = "C:\\Temp\\";
    if (strlen(path) >= size)
        return (DWORD)strlen(path) + 1;
    strcpy(buffer, path);
    return (DWORD)strlen(path);
}

DWORD GetCurrentDirectoryA(DWORD size, char* buffer)
{
    const char* path = "C:\\App";
    if (strlen(path) >= size)
        return (DWORD)strlen(path) + 1;
    strcpy(buffer, path);
    return (DWORD)strlen(path);
}

LONG InterlockedIncrement(volatile LONG* value)
{
    return ++*value;
}

HWND FindWindowA(const char*, const char*)
{
    return 0;
}

BOOL ShowWindow(HWND, int)
{
    return FALSE;
}
}
