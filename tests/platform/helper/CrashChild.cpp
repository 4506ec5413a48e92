// A program that crashes on purpose: it reads from an address that was just given back to the
// system. The harness test starts it and checks that the crash ends it at once with the fault
// line (naming that address) instead of a debugger that waits. The address goes to stdout first.
#include <windows.h>
#include <stdio.h>

int main()
{
    char* page = (char*)VirtualAlloc(nullptr, 65536, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (page == nullptr) return 2;
    VirtualFree(page, 0, MEM_RELEASE);
    volatile char* address = page + 0x1234;
    printf("CrashChild reads %p\n", (void*)address);
    fflush(stdout);
    return *address == 1 ? 3 : 4;
}
