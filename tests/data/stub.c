/* A console stub for the PE resource tests, without the C runtime so that
   it stays a few KB: for each word of its command line after the program
   name it looks the RCDATA resource up the way the installer does
   (FindResourceA on its own module) and prints the name, the size and an
   FNV-1a hash of the bytes, or "missing". Exit code 0, or 3 without words. */
#include <windows.h>

static void put(HANDLE out, const char* text, DWORD length) {
  DWORD written;
  WriteFile(out, text, length, &written, NULL);
}

static DWORD length_of(const char* s) {
  DWORD n = 0;
  while (s[n]) ++n;
  return n;
}

static void put_hex(HANDLE out, unsigned int value, int digits) {
  char buf[8];
  int i;
  for (i = digits - 1; i >= 0; --i, value >>= 4) buf[i] = "0123456789abcdef"[value & 15];
  put(out, buf, (DWORD)digits);
}

void __stdcall stub_start(void) {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  char* p = GetCommandLineA();
  int words = 0;
  /* Skip the program name, quoted or not. */
  if (*p == '"') {
    ++p;
    while (*p && *p != '"') ++p;
    if (*p) ++p;
  } else {
    while (*p && *p != ' ' && *p != '\t') ++p;
  }
  for (;;) {
    char* name;
    HRSRC res;
    while (*p == ' ' || *p == '\t') ++p;
    if (!*p) break;
    name = p;
    while (*p && *p != ' ' && *p != '\t') ++p;
    if (*p) *p++ = 0;
    ++words;
    put(out, name, length_of(name));
    res = FindResourceA(NULL, name, (LPCSTR)RT_RCDATA);
    if (!res) {
      put(out, " missing\r\n", 10);
    } else {
      DWORD size = SizeofResource(NULL, res), k;
      const unsigned char* data = (const unsigned char*)LockResource(LoadResource(NULL, res));
      unsigned int h = 2166136261u;
      for (k = 0; k < size; ++k) h = (h ^ data[k]) * 16777619u;
      put(out, " ", 1);
      put_hex(out, (unsigned int)size, 8);
      put(out, " ", 1);
      put_hex(out, h, 8);
      put(out, "\r\n", 2);
    }
  }
  ExitProcess(words ? 0 : 3);
}
