// DLLs from the system folder only. The programs run with administrative rights from
// wherever their zip was unpacked, usually a Downloads folder, and Windows looks for a
// DLL that is not a known DLL beside the program before the system folder.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

// Takes the program's folder and the current folder out of every later DLL search of
// the process, Windows' own loads included. The first call of each program's entry.
void RestrictDllSearchToSystemFolder();

// Loads name from the system folder, never from anywhere else; null when it is not there.
HMODULE LoadSystemLibrary(const char* name);

// The way of older systems, where LoadLibraryEx knows no search flags (Vista, and 7
// without KB2533623): by the full path in the system folder. Public for its tests.
HMODULE LoadSystemLibraryByPath(const char* name);
