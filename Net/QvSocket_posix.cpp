// TCP for the native build: getaddrinfo, a non-blocking connect bounded
// by poll, and poll before every read and write for the read time-out.
#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

#include "QvSocket.h"
#include "QvSysUtils.h"

namespace {

struct TAddrInfoFree {
  void operator()(addrinfo* a) const { ::freeaddrinfo(a); }
};

class TFd {
public:
  explicit TFd(int fd) : FFd(fd) {}
  ~TFd() { if (FFd >= 0) ::close(FFd); }
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
  int Get() const { return FFd; }
  int Release() { const int fd = FFd; FFd = -1; return fd; }

private:
  int FFd;
};

[[noreturn]] void Fail(const std::string& what, int error) {
  throw ENetError(Utf8ToWide(what) + u": " + SysErrorMessage(error));
}

// Waits for events on fd for at most timeoutMs (0 or less: for ever);
// false on time-out.
bool WaitFor(int fd, short events, int timeoutMs) {
  pollfd p = {fd, events, 0};
  for (;;) {
    const int r = ::poll(&p, 1, timeoutMs > 0 ? timeoutMs : -1);
    if (r > 0) return true;
    if (r == 0) return false;
    if (errno != EINTR) Fail("poll", errno);
  }
}

}  // namespace

std::unique_ptr<TQvTcpSocket> TQvTcpSocket::Connect(const std::string& host, uint16_t port, int connectTimeoutMs,
                                                    const TQvTransferDeadline* deadline) {
  if (deadline) deadline->Bound(0);
  addrinfo hints = {};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_ADDRCONFIG;
  addrinfo* found = nullptr;
  const int rc = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
  if (rc != 0) throw ENetError(Utf8ToWide("Cannot resolve \"" + host + "\": " + ::gai_strerror(rc)));
  std::unique_ptr<addrinfo, TAddrInfoFree> list(found);
  const auto connectEnd = std::chrono::steady_clock::now() + std::chrono::milliseconds(connectTimeoutMs);
  int lastError = ECONNREFUSED;
  for (addrinfo* a = list.get(); a; a = a->ai_next) {
    TFd fd(::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol));
    if (fd.Get() < 0) { lastError = errno; continue; }
    if (::connect(fd.Get(), a->ai_addr, a->ai_addrlen) != 0) {
      if (errno != EINPROGRESS) { lastError = errno; continue; }
      if (!WaitFor(fd.Get(), POLLOUT, ConnectWait(host, port, connectEnd, connectTimeoutMs, deadline))) {
        if (deadline && deadline->Passed()) deadline->Expired();
        ConnectTimedOut(host, port, connectTimeoutMs);
      }
      int err = 0;
      socklen_t len = sizeof err;
      ::getsockopt(fd.Get(), SOL_SOCKET, SO_ERROR, &err, &len);
      if (err != 0) { lastError = err; continue; }
    }
    return std::unique_ptr<TQvTcpSocket>(new TQvTcpSocket(fd.Release()));
  }
  Fail("Cannot connect to " + host + ":" + std::to_string(port), lastError);
}

TQvTcpSocket::~TQvTcpSocket() { ::close(static_cast<int>(FHandle)); }

void TQvTcpSocket::SendAll(const char* data, size_t size) {
  const int fd = static_cast<int>(FHandle);
  while (size > 0) {
    if (FDeadline) FDeadline->Bound(0);
    const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
    if (n > 0) {
      data += n;
      size -= static_cast<size_t>(n);
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!WaitFor(fd, POLLOUT, Wait())) TimedOut("Send timed out");
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      Fail("Send failed", n < 0 ? errno : EPIPE);
    }
  }
}

size_t TQvTcpSocket::Receive(char* buffer, size_t size) {
  const int fd = static_cast<int>(FHandle);
  for (;;) {
    if (FDeadline) FDeadline->Bound(0);
    const ssize_t n = ::recv(fd, buffer, size, 0);
    if (n >= 0) return static_cast<size_t>(n);
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) Fail("Receive failed", errno);
    if (!WaitFor(fd, POLLIN, Wait())) TimedOut("No data from the server for " + std::to_string(FReadTimeoutMs) + " ms");
  }
}
