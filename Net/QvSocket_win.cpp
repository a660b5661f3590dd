// TCP for Windows through Winsock: getaddrinfo, a non-blocking connect
// bounded by select, and select before every read and write for the read
// time-out.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <chrono>

#include "QvSocket.h"
#include "QvSysUtils.h"

namespace {

// Winsock is started once for the process and stays up until its end.
void EnsureWinsock() {
  static const bool started = [] {
    WSADATA data;
    return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  if (!started) throw ENetError(u"Windows Sockets cannot be started");
}

struct TAddrInfoFree {
  void operator()(addrinfo* a) const { ::freeaddrinfo(a); }
};

class TSocket {
public:
  explicit TSocket(SOCKET s) : FSocket(s) {}
  ~TSocket() { if (FSocket != INVALID_SOCKET) ::closesocket(FSocket); }
  TSocket(const TSocket&) = delete;
  TSocket& operator=(const TSocket&) = delete;
  SOCKET Get() const { return FSocket; }
  SOCKET Release() { const SOCKET s = FSocket; FSocket = INVALID_SOCKET; return s; }

private:
  SOCKET FSocket;
};

[[noreturn]] void Fail(const std::string& what, int error) {
  throw ENetError(Utf8ToWide(what) + u": " + SysErrorMessage(error));
}

// Waits until s can be read (or written) for at most timeoutMs (0 or less:
// for ever); false on time-out. A failed connect shows in the except set.
bool WaitFor(SOCKET s, bool write, int timeoutMs) {
  fd_set set, errors;
  FD_ZERO(&set);
  FD_SET(s, &set);
  FD_ZERO(&errors);
  FD_SET(s, &errors);
  timeval tv = {timeoutMs / 1000, (timeoutMs % 1000) * 1000};
  const int r = ::select(0, write ? nullptr : &set, write ? &set : nullptr, &errors, timeoutMs > 0 ? &tv : nullptr);
  if (r == SOCKET_ERROR) Fail("select", ::WSAGetLastError());
  return r > 0;
}

}  // namespace

std::unique_ptr<TQvTcpSocket> TQvTcpSocket::Connect(const std::string& host, uint16_t port, int connectTimeoutMs,
                                                    const TQvTransferDeadline* deadline) {
  if (deadline) deadline->Bound(0);
  EnsureWinsock();
  addrinfo hints = {};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* found = nullptr;
  const int rc = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
  if (rc != 0) throw ENetError(Utf8ToWide("Cannot resolve \"" + host + "\": ") + SysErrorMessage(rc));
  std::unique_ptr<addrinfo, TAddrInfoFree> list(found);
  const auto connectEnd = std::chrono::steady_clock::now() + std::chrono::milliseconds(connectTimeoutMs);
  int lastError = WSAECONNREFUSED;
  for (addrinfo* a = list.get(); a; a = a->ai_next) {
    // Programs that the installer starts later must not inherit the
    // socket; systems before Windows 7 SP1 do not know the flag.
    SOCKET raw = ::WSASocketW(a->ai_family, a->ai_socktype, a->ai_protocol, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    if (raw == INVALID_SOCKET && ::WSAGetLastError() == WSAEINVAL) {
      raw = ::WSASocketW(a->ai_family, a->ai_socktype, a->ai_protocol, nullptr, 0, 0);
      if (raw != INVALID_SOCKET) ::SetHandleInformation(reinterpret_cast<HANDLE>(raw), HANDLE_FLAG_INHERIT, 0);
    }
    TSocket s(raw);
    if (s.Get() == INVALID_SOCKET) { lastError = ::WSAGetLastError(); continue; }
    u_long nonBlocking = 1;
    ::ioctlsocket(s.Get(), FIONBIO, &nonBlocking);
    if (::connect(s.Get(), a->ai_addr, static_cast<int>(a->ai_addrlen)) == SOCKET_ERROR) {
      const int err = ::WSAGetLastError();
      if (err != WSAEWOULDBLOCK) { lastError = err; continue; }
      if (!WaitFor(s.Get(), true, ConnectWait(host, port, connectEnd, connectTimeoutMs, deadline))) {
        if (deadline && deadline->Passed()) deadline->Expired();
        ConnectTimedOut(host, port, connectTimeoutMs);
      }
      int soError = 0;
      int len = sizeof soError;
      ::getsockopt(s.Get(), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soError), &len);
      if (soError != 0) { lastError = soError; continue; }
    }
    return std::unique_ptr<TQvTcpSocket>(new TQvTcpSocket(static_cast<intptr_t>(s.Release())));
  }
  Fail("Cannot connect to " + host + ":" + std::to_string(port), lastError);
}

TQvTcpSocket::~TQvTcpSocket() { ::closesocket(static_cast<SOCKET>(FHandle)); }

void TQvTcpSocket::SendAll(const char* data, size_t size) {
  const SOCKET s = static_cast<SOCKET>(FHandle);
  while (size > 0) {
    if (FDeadline) FDeadline->Bound(0);
    const int n = ::send(s, data, static_cast<int>(std::min<size_t>(size, 1 << 30)), 0);
    if (n > 0) {
      data += n;
      size -= static_cast<size_t>(n);
      continue;
    }
    const int err = ::WSAGetLastError();
    if (n == SOCKET_ERROR && err == WSAEWOULDBLOCK) {
      if (!WaitFor(s, true, Wait())) TimedOut("Send timed out");
    } else {
      Fail("Send failed", err);
    }
  }
}

size_t TQvTcpSocket::Receive(char* buffer, size_t size) {
  const SOCKET s = static_cast<SOCKET>(FHandle);
  for (;;) {
    if (FDeadline) FDeadline->Bound(0);
    const int n = ::recv(s, buffer, static_cast<int>(std::min<size_t>(size, 1 << 30)), 0);
    if (n >= 0) return static_cast<size_t>(n);
    const int err = ::WSAGetLastError();
    if (err != WSAEWOULDBLOCK) Fail("Receive failed", err);
    if (!WaitFor(s, false, Wait())) TimedOut("No data from the server for " + std::to_string(FReadTimeoutMs) + " ms");
  }
}
