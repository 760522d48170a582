// Start-up hardening of the Windows programs: DLLs loaded by name come only
// from the system directory, never from the program's folder or the current
// directory (DLL planting). Header only, for the window and the bridge alike.
#pragma once

#include <windows.h>

inline void RestrictDllSearchPath() {
  SetDllDirectoryW(L"");
  // Looked up at run time: systems without it (Windows 7 before its update)
  // still start.
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  if (!kernel) return;
  auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
  if (setDefault) setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
}
