// Test library that records the uninstaller's own calls of the system, so that a run can be compared with its plan.
#include <windows.h>
#include <string>
#include "../../common/append.h"

// A D record loads this library and calls Install, which points entries of the executable's import
// table at the recorders below and keeps the library loaded. From then on each recorded call appends
// one line "<process id>\t<function>\t<argument>..." to the file named by UNINST_APITRACE_LOG, then
// does what the system function does. Keys are written as HKCR, HKCU, HKLM, HKU or "key".

static void Note(const std::string& line)
{
    char file[MAX_PATH + 1];
    DWORD n = GetEnvironmentVariableA("UNINST_APITRACE_LOG", file, sizeof file);
    if (n == 0 || n >= sizeof file)
        return;
    AppendRecord(file, std::to_string(GetCurrentProcessId()) + "\t" + line + "\r\n");
}

static std::string Text(const char* s)
{
    return s ? std::string(s) : std::string("(null)");
}

static std::string Root(HKEY key)
{
    if (key == HKEY_CLASSES_ROOT)
        return "HKCR";
    if (key == HKEY_CURRENT_USER)
        return "HKCU";
    if (key == HKEY_LOCAL_MACHINE)
        return "HKLM";
    if (key == HKEY_USERS)
        return "HKU";
    return "key";
}

static std::string Hex(unsigned value)
{
    char text[16];
    wsprintfA(text, "0x%X", value);
    return text;
}

static decltype(&CreateProcessA) realCreateProcessA;
static decltype(&LoadLibraryA) realLoadLibraryA;
static decltype(&LoadLibraryExA) realLoadLibraryExA;
static decltype(&GetProcAddress) realGetProcAddress;
static decltype(&OpenMutexA) realOpenMutexA;
static decltype(&FindWindowA) realFindWindowA;
static decltype(&EnumWindows) realEnumWindows;
static decltype(&MessageBoxA) realMessageBoxA;
static decltype(&FindFirstFileA) realFindFirstFileA;
static decltype(&DeleteFileA) realDeleteFileA;
static decltype(&RemoveDirectoryA) realRemoveDirectoryA;
static decltype(&RegOpenKeyExA) realRegOpenKeyExA;
static decltype(&RegDeleteKeyA) realRegDeleteKeyA;
static decltype(&RegDeleteValueA) realRegDeleteValueA;
static decltype(&RegQueryValueExA) realRegQueryValueExA;
static decltype(&RegSetValueExA) realRegSetValueExA;
static decltype(&WritePrivateProfileStringA) realWritePrivateProfileStringA;
static decltype(&Sleep) realSleep;
static decltype(&SendDlgItemMessageA) realSendDlgItemMessageA;
static decltype(&ExitProcess) realExitProcess;

static BOOL WINAPI TraceCreateProcessA(LPCSTR application, LPSTR command, LPSECURITY_ATTRIBUTES process, LPSECURITY_ATTRIBUTES thread,
                                       BOOL inherit, DWORD flags, LPVOID environment, LPCSTR folder, LPSTARTUPINFOA startup,
                                       LPPROCESS_INFORMATION information)
{
    Note("CreateProcessA\t" + Text(command));
    return realCreateProcessA(application, command, process, thread, inherit, flags, environment, folder, startup, information);
}

static HMODULE WINAPI TraceLoadLibraryA(LPCSTR name)
{
    Note("LoadLibraryA\t" + Text(name));
    return realLoadLibraryA(name);
}

static HMODULE WINAPI TraceLoadLibraryExA(LPCSTR name, HANDLE file, DWORD flags)
{
    Note("LoadLibraryExA\t" + Text(name) + "\t" + Hex(flags));
    return realLoadLibraryExA(name, file, flags);
}

static FARPROC WINAPI TraceGetProcAddress(HMODULE module, LPCSTR name)
{
    Note("GetProcAddress\t" + (HIWORD((UINT_PTR)name) ? Text(name) : "#" + std::to_string((UINT_PTR)name)));
    return realGetProcAddress(module, name);
}

static HANDLE WINAPI TraceOpenMutexA(DWORD access, BOOL inherit, LPCSTR name)
{
    Note("OpenMutexA\t" + Text(name));
    return realOpenMutexA(access, inherit, name);
}

static HWND WINAPI TraceFindWindowA(LPCSTR className, LPCSTR title)
{
    Note("FindWindowA\t" + Text(title));
    return realFindWindowA(className, title);
}

static BOOL WINAPI TraceEnumWindows(WNDENUMPROC callback, LPARAM parameter)
{
    Note("EnumWindows");
    return realEnumWindows(callback, parameter);
}

static int WINAPI TraceMessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    Note("MessageBoxA\t" + Text(text) + "\t" + Text(caption) + "\t" + Hex(type));
    return realMessageBoxA(owner, text, caption, type);
}

static HANDLE WINAPI TraceFindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA found)
{
    Note("FindFirstFileA\t" + Text(pattern));
    return realFindFirstFileA(pattern, found);
}

static BOOL WINAPI TraceDeleteFileA(LPCSTR path)
{
    Note("DeleteFileA\t" + Text(path));
    return realDeleteFileA(path);
}

static BOOL WINAPI TraceRemoveDirectoryA(LPCSTR path)
{
    Note("RemoveDirectoryA\t" + Text(path));
    return realRemoveDirectoryA(path);
}

static LONG WINAPI TraceRegOpenKeyExA(HKEY root, LPCSTR path, DWORD options, REGSAM access, PHKEY key)
{
    Note("RegOpenKeyExA\t" + Root(root) + "\t" + Text(path) + "\t" + Hex(access));
    return realRegOpenKeyExA(root, path, options, access, key);
}

static LONG WINAPI TraceRegDeleteKeyA(HKEY root, LPCSTR path)
{
    Note("RegDeleteKeyA\t" + Root(root) + "\t" + Text(path));
    return realRegDeleteKeyA(root, path);
}

static LONG WINAPI TraceRegDeleteValueA(HKEY key, LPCSTR name)
{
    Note("RegDeleteValueA\t" + Text(name));
    return realRegDeleteValueA(key, name);
}

static LONG WINAPI TraceRegQueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size)
{
    Note("RegQueryValueExA\t" + Text(name));
    return realRegQueryValueExA(key, name, reserved, type, data, size);
}

static LONG WINAPI TraceRegSetValueExA(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD size)
{
    DWORD count = 0;
    if (data && size == sizeof count)
        CopyMemory(&count, data, sizeof count);
    Note("RegSetValueExA\t" + Text(name) + "\t" + std::to_string(count));
    return realRegSetValueExA(key, name, reserved, type, data, size);
}

static BOOL WINAPI TraceWritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR file)
{
    Note("WritePrivateProfileStringA\t" + Text(section) + "\t" + Text(key) + "\t" + Text(value) + "\t" + Text(file));
    return realWritePrivateProfileStringA(section, key, value, file);
}

static void WINAPI TraceSleep(DWORD milliseconds)
{
    Note("Sleep\t" + std::to_string(milliseconds));
    realSleep(milliseconds);
}

static LRESULT WINAPI TraceSendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM w, LPARAM l)
{
    if (message == LB_ADDSTRING) // 0x180
        Note("SendDlgItemMessageA\t" + std::to_string(id) + "\t" + Text((const char*)l));
    return realSendDlgItemMessageA(dialog, id, message, w, l);
}

static void WINAPI TraceExitProcess(UINT code)
{
    Note("ExitProcess\t" + std::to_string(code));
    realExitProcess(code);
}

namespace {
struct Recorder {
    const char* name;
    void* replacement;
    void** original;
};
}

#define RECORDER(f) {#f, (void*)Trace##f, (void**)&real##f}
static const Recorder RECORDERS[] = {
    RECORDER(CreateProcessA), RECORDER(LoadLibraryA), RECORDER(LoadLibraryExA), RECORDER(GetProcAddress),
    RECORDER(OpenMutexA), RECORDER(FindWindowA), RECORDER(EnumWindows), RECORDER(MessageBoxA),
    RECORDER(FindFirstFileA), RECORDER(DeleteFileA), RECORDER(RemoveDirectoryA), RECORDER(RegOpenKeyExA),
    RECORDER(RegDeleteKeyA), RECORDER(RegDeleteValueA), RECORDER(RegQueryValueExA), RECORDER(RegSetValueExA),
    RECORDER(WritePrivateProfileStringA), RECORDER(Sleep), RECORDER(SendDlgItemMessageA), RECORDER(ExitProcess)};
#undef RECORDER

extern "C" __declspec(dllexport) int WINAPI Install(void)
{
    // Pinned: the record releases the library after the call, but the import table now points here.
    HMODULE self;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN, (LPCSTR)&Install, &self); // 0x4 | 0x1
    BYTE* base = (BYTE*)GetModuleHandleA(NULL);
    IMAGE_NT_HEADERS* headers = (IMAGE_NT_HEADERS*)(base + ((IMAGE_DOS_HEADER*)base)->e_lfanew);
    IMAGE_DATA_DIRECTORY imports = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    int replaced = 0;
    for (IMAGE_IMPORT_DESCRIPTOR* d = (IMAGE_IMPORT_DESCRIPTOR*)(base + imports.VirtualAddress); imports.Size && d->Name; d++) {
        if (!d->OriginalFirstThunk)
            continue; // no names to go by
        IMAGE_THUNK_DATA* names = (IMAGE_THUNK_DATA*)(base + d->OriginalFirstThunk);
        IMAGE_THUNK_DATA* slots = (IMAGE_THUNK_DATA*)(base + d->FirstThunk);
        for (; names->u1.AddressOfData; names++, slots++) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            const char* name = (const char*)((IMAGE_IMPORT_BY_NAME*)(base + names->u1.AddressOfData))->Name;
            for (const Recorder& r : RECORDERS) {
                if (lstrcmpA(name, r.name) != 0)
                    continue;
                DWORD old;
                VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &old); // 0x4
                *r.original = (void*)slots->u1.Function;
                slots->u1.Function = (ULONG_PTR)r.replacement;
                VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, old, &old);
                replaced++;
            }
        }
    }
    Note("Install\t" + std::to_string(replaced));
    return 1;
}
