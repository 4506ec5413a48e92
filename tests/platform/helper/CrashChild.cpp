// A program that crashes on purpose: it reads from an address that was just given back to the
// system. The harness test starts it and checks that the crash ends it at once with the fault
// line (naming that address) instead of a debugger that waits. Before the crash it prints the
// debugger the prefix names for crashes and the address it is about to read.
#include <windows.h>
#include <stdio.h>

int main()
{
    char debugger[512] = "(none)";
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows NT\\CurrentVersion\\AeDebug", 0, KEY_READ,
                      &key) == ERROR_SUCCESS) {
        DWORD bytes = sizeof(debugger) - 1;
        if (RegQueryValueExA(key, "Debugger", nullptr, nullptr, (BYTE*)debugger, &bytes) != ERROR_SUCCESS)
            strcpy(debugger, "(none)");
        RegCloseKey(key);
    }
    printf("CrashChild debugger: %s\n", debugger);

    char* page = (char*)VirtualAlloc(nullptr, 65536, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (page == nullptr) return 2;
    VirtualFree(page, 0, MEM_RELEASE);
    volatile char* address = page + 0x1234;
    printf("CrashChild reads %p\n", (void*)address);
    fflush(stdout);
    return *address == 1 ? 3 : 4;
}
