// The DLL's entry point. The library keeps no per-thread state that needs a
// notification, so thread attach and detach calls are turned off.
//
// This file holds nothing but DllMain, so a static archive of the library
// (the fault-injection build) never pulls it into a program.
#include "platform/win32/win.hpp"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
    return TRUE;
}
