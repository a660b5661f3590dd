// What the Windows-side test tools share: UTF-8 output, the error that ends
// a tool with a message, paths given in Unix form, and COM's RAII.
//
// The tools check the installer from outside, so they convert text with the
// system's own functions rather than the product's: a fault in the product's
// conversion must not hide behind the same fault in its checker.
#pragma once

#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <objbase.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "QvExceptions.h"
#include "QvTypes.h"

namespace wt {

inline const wchar_t* W(const WideString& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }
inline WideString FromW(const wchar_t* s) { return s ? WideString(reinterpret_cast<const char16_t*>(s)) : WideString(); }
inline WideString FromW(const wchar_t* s, size_t n) { return WideString(reinterpret_cast<const char16_t*>(s), n); }

inline std::string ToUtf8(const WideString& s) {
  if (s.empty()) return std::string();
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, W(s), static_cast<int>(s.size()), nullptr, 0, nullptr, nullptr);
  std::string r(static_cast<size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) ::WideCharToMultiByte(CP_UTF8, 0, W(s), static_cast<int>(s.size()), &r[0], n, nullptr, nullptr);
  return r;
}

inline WideString FromUtf8(const std::string& s) {
  if (s.empty()) return WideString();
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  WideString r(static_cast<size_t>(n > 0 ? n : 0), u'\0');
  if (n > 0) ::MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), reinterpret_cast<wchar_t*>(&r[0]), n);
  return r;
}

// Raw bytes, so that a line ends in LF alone and the shell reading it needs
// no "tr -d '\r'", and Chinese text arrives as UTF-8 whatever the code page.
inline void Out(const WideString& text) {
  const std::string bytes = ToUtf8(text);
  std::fwrite(bytes.data(), 1, bytes.size(), stdout);
}
inline void OutLine(const WideString& text) {
  Out(text);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

inline WideString ToWide(unsigned long long v) {
  WideString r;
  do {
    r.insert(r.begin(), static_cast<char16_t>(u'0' + v % 10));
    v /= 10;
  } while (v);
  return r;
}

inline WideString Hex(unsigned long long v) {
  static const char16_t digits[] = u"0123456789ABCDEF";
  WideString r;
  do {
    r.insert(r.begin(), digits[v & 15]);
    v >>= 4;
  } while (v);
  return u"0x" + r;
}

inline WideString LastErrorText(DWORD code = ::GetLastError()) {
  wchar_t* text = nullptr;
  ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, code, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
  WideString s = FromW(text);
  if (text) ::LocalFree(text);
  while (!s.empty() && (s.back() <= u' ' || s.back() == u'.')) s.pop_back();
  return s + u" (error " + ToWide(code) + u")";
}

// A failed call: names what failed and the system's reason.
[[noreturn]] inline void FailLastError(const WideString& what) {
  const DWORD code = ::GetLastError();
  throw EOSError(what + u": " + LastErrorText(code));
}
[[noreturn]] inline void FailHr(const WideString& what, HRESULT hr) {
  WideString text = LastErrorText(static_cast<DWORD>(hr));
  const size_t code = text.rfind(u" (error ");
  if (code != WideString::npos) text = text.substr(0, code) + u" (" + Hex(static_cast<DWORD>(hr)) + u")";
  throw EOSError(what + u": " + text);
}

// Tests pass paths as the shell knows them; a path that begins with "/" is
// a Unix path, which Wine maps through its drive of the root folder.
inline WideString WinPath(const WideString& path) {
  if (path.empty() || path[0] != u'/') return path;
  using ToDos = WCHAR*(CDECL*)(const char*);
  const auto toDos = reinterpret_cast<ToDos>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
  if (toDos) {
    if (WCHAR* dos = toDos(ToUtf8(path).c_str())) {
      WideString r = FromW(dos);
      ::HeapFree(::GetProcessHeap(), 0, dos);
      return r;
    }
  }
  WideString r = u"Z:" + path;
  for (auto& c : r) if (c == u'/') c = u'\\';
  return r;
}

struct HandleCloser {
  void operator()(HANDLE h) const { if (h && h != INVALID_HANDLE_VALUE) ::CloseHandle(h); }
};
class Handle {
public:
  explicit Handle(HANDLE h = INVALID_HANDLE_VALUE) : FHandle(h) {}
  ~Handle() { HandleCloser()(FHandle); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE Get() const { return FHandle; }
  bool Valid() const { return FHandle && FHandle != INVALID_HANDLE_VALUE; }
  // Closes now and reports a failing close, which the destructor cannot.
  bool Close() {
    const bool ok = !Valid() || ::CloseHandle(FHandle);
    FHandle = INVALID_HANDLE_VALUE;
    return ok;
  }

private:
  HANDLE FHandle;
};

template <class T>
class ComPtr {
public:
  ComPtr() = default;
  ~ComPtr() { if (FPtr) FPtr->Release(); }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  T* operator->() const { return FPtr; }
  T* Get() const { return FPtr; }
  // For the out parameters of CoCreateInstance and QueryInterface.
  void** Out() {
    if (FPtr) FPtr->Release();
    FPtr = nullptr;
    return reinterpret_cast<void**>(&FPtr);
  }

private:
  T* FPtr = nullptr;
};

class ComInit {
public:
  ComInit() {
    const HRESULT hr = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(hr)) FailHr(u"CoInitializeEx", hr);
  }
  ~ComInit() { ::CoUninitialize(); }
  ComInit(const ComInit&) = delete;
  ComInit& operator=(const ComInit&) = delete;
};

// The arguments as wmain gets them, without the program.
inline std::vector<WideString> Args(int argc, wchar_t** argv) {
  std::vector<WideString> args;
  for (int i = 1; i < argc; ++i) args.push_back(FromW(argv[i]));
  return args;
}

// Runs a tool's body: an error prints "<tool>: <message>" on standard error
// and ends the tool with exit code 1; usage errors end it with 2.
struct UsageError {
  WideString text;
};
template <class Body>
int Run(const char* tool, Body body) {
  _setmode(_fileno(stdout), _O_BINARY);
  try {
    return body();
  } catch (const UsageError& e) {
    std::fprintf(stderr, "usage: %s\n", ToUtf8(e.text).c_str());
    return 2;
  } catch (const Exception& e) {
    std::fprintf(stderr, "%s: %s\n", tool, ToUtf8(e.Message()).c_str());
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: %s\n", tool, e.what());
    return 1;
  }
}

}  // namespace wt
