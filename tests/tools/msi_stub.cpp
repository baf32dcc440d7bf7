// The code part of the old-engine msi.dll stand-in: nothing but an entry point.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
