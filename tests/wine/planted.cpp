// planted.dll: what an attacker leaves beside a program under a system
// DLL's name. Tests copy it under such names (version.dll, gdiplus.dll ...);
// when a process loads a copy, the copy records it in "<its path>.loaded"
// (the loading program's command line) and refuses to load, so the process
// goes on as if the DLL had not been found.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  wchar_t path[MAX_PATH + 16];
  const DWORD n = ::GetModuleFileNameW(instance, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return FALSE;
  ::lstrcpyW(path + n, L".loaded");
  const HANDLE file = ::CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    const wchar_t* line = ::GetCommandLineW();
    DWORD written = 0;
    ::WriteFile(file, line, static_cast<DWORD>(::lstrlenW(line) * sizeof(wchar_t)), &written, nullptr);
    ::WriteFile(file, L"\r\n", 4, &written, nullptr);
    ::CloseHandle(file);
  }
  return FALSE;
}
