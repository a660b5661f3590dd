#include "QvRunLog.h"

#include <windows.h>

#include <cstdio>

#include "QvWinApi.h"

namespace {

// The one log of the process; none until Open succeeds. Its lines come
// from the installer's thread only.
THandle& LogFile() {
  static THandle file;
  return file;
}

}  // namespace

bool TQvRunLog::Open(const WideString& path, WideString& why) {
  // Others may read the log while the run goes on (a deployment tool
  // showing its tail); nobody else writes it.
  THandle file = Owned(::CreateFileW(W(path), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    why = SysErrorMessage(static_cast<int>(::GetLastError()));
    return false;
  }
  LogFile() = std::move(file);
  return true;
}

bool TQvRunLog::IsOpen() { return LogFile() != nullptr; }

void TQvRunLog::Line(const WideString& text) {
  if (!IsOpen()) return;
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%04u-%02u-%02u %02u:%02u:%02u.%03u  ", now.wYear, now.wMonth, now.wDay,
                now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
  WideString flat;
  flat.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c == u'\r' || c == u'\n') {
      // A message's paragraphs ("\r\n\r\n") become one separator.
      while (i + 1 < text.size() && (text[i + 1] == u'\r' || text[i + 1] == u'\n')) ++i;
      flat += u" / ";
    } else {
      flat += c;
    }
  }
  const std::string line = stamp + WideToUtf8(flat) + "\r\n";
  // Straight to the file: the system holds it from here, whatever becomes
  // of this process. A disk sync per line (write-through) would cost
  // seconds over thousands of files and guard only against power loss.
  DWORD written = 0;
  ::WriteFile(LogFile().get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

void TQvRunLog::Line(const WideString& format, std::initializer_list<TFormatArg> args) {
  if (IsOpen()) Line(Format(format, args));
}
