// Date-time values and the system's broken-down time, both ways. Windows
// only; shared by the installer's file times and setupkit's.
#pragma once

#include <windows.h>

#include "QvSysUtils.h"

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
