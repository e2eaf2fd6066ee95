/* A Windows DLL whose import tables the interception tests patch: it
   imports resource, dialog and message-box functions from USER32 and
   KERNEL32. It is only mapped by the tests, never run: no C run-time, no
   entry code beyond returning TRUE. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)instance;
  (void)reason;
  (void)reserved;
  return TRUE;
}

__declspec(dllexport) int UseImports(HINSTANCE instance) {
  char text[64];
  WCHAR wide[64];
  int n = LoadStringA(instance, 1, text, sizeof text);
  n += LoadStringW(instance, 1, wide, 64);
  n += MessageBoxA(NULL, text, "caption", MB_OK);
  n += (int)DialogBoxParamA(instance, MAKEINTRESOURCEA(200), NULL, NULL, 0);
  n += (int)(INT_PTR)LoadMenuA(instance, MAKEINTRESOURCEA(300));
  n += (int)(INT_PTR)FindResourceW(instance, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(6));
  return n;
}
