// What every unit that calls Win32 needs: wide text at the call, an owner
// for kernel handles, and date-time values as the system's broken-down
// time. Windows only.
#pragma once

#include <windows.h>

#include <memory>
#include <type_traits>

#include "QvSysUtils.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide characters are UTF-16 units");

// A wide string as the W functions take it.
inline const wchar_t* W(const WideString& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }
// An empty string as the null pointer that optional arguments want.
inline const wchar_t* WOrNull(const WideString& s) { return s.empty() ? nullptr : W(s); }

// Kernel handles: both "no handle" values of the API count as empty.
struct THandleCloser {
  void operator()(HANDLE h) const {
    if (h && h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
  }
};
using THandle = std::unique_ptr<std::remove_pointer<HANDLE>::type, THandleCloser>;
// Takes a handle as a Create... call returns it; INVALID_HANDLE_VALUE gives
// an empty owner.
inline THandle Owned(HANDLE h) { return THandle(h == INVALID_HANDLE_VALUE ? nullptr : h); }

inline SYSTEMTIME DateTimeToSystemTime(TDateTime value) {
  int year, month, day, hour, minute, second, ms;
  DecodeDate(value, year, month, day);
  DecodeTime(value, hour, minute, second, ms);
  SYSTEMTIME st = {};
  st.wYear = static_cast<WORD>(year);
  st.wMonth = static_cast<WORD>(month);
  st.wDay = static_cast<WORD>(day);
  st.wHour = static_cast<WORD>(hour);
  st.wMinute = static_cast<WORD>(minute);
  st.wSecond = static_cast<WORD>(second);
  st.wMilliseconds = static_cast<WORD>(ms);
  return st;
}

inline TDateTime SystemTimeToDateTime(const SYSTEMTIME& st) {
  return EncodeDate(st.wYear, st.wMonth, st.wDay) + EncodeTime(st.wHour, st.wMinute, st.wSecond, st.wMilliseconds);
}
