// Byte channels under the HTTP client: a TCP connection with connect and
// read time-outs, and the interface that the TLS layer also offers, so the
// HTTP code reads and writes the same way over either.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "QvExceptions.h"

// Every failure below the HTTP layer: resolution, connection, time-outs,
// resets, TLS. The HTTP client turns it into a false result.
QV_DECLARE_EXCEPTION(ENetError, Exception);

class TQvByteChannel {
public:
  virtual ~TQvByteChannel() = default;
  // Sends all of data or raises ENetError.
  virtual void SendAll(const char* data, size_t size) = 0;
  // Receives up to size bytes, at least one; 0 means the peer ended the
  // stream in order. Raises ENetError on a failure or on the read time-out.
  virtual size_t Receive(char* buffer, size_t size) = 0;
};

// The end of the time that a whole transfer may take, shared by the
// connections it opens; Active false sets no end.
struct TQvTransferDeadline {
  bool Active = false;
  std::chrono::steady_clock::time_point End;
  int LimitMs = 0;  // what the end was set from, for the message

  void Start(int limitMs) {
    Active = limitMs > 0;
    LimitMs = limitMs;
    End = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
  }
  bool Passed() const;
  // Milliseconds that waitMs may still take (0 or less: for ever) before
  // the end; raises ENetError once the end has passed.
  int Bound(int waitMs) const;
  [[noreturn]] void Expired() const;
};

class TQvTcpSocket : public TQvByteChannel {
public:
  // Resolves host and connects to the first of its addresses that answers.
  // The connect time-out bounds the whole attempt over all addresses; the
  // resolver itself runs under the system's own limits.
  // A deadline, when given, bounds the attempt too; it must outlive the
  // socket, which checks it before every wait.
  static std::unique_ptr<TQvTcpSocket> Connect(const std::string& host, uint16_t port, int connectTimeoutMs,
                                               const TQvTransferDeadline* deadline = nullptr);
  ~TQvTcpSocket() override;
  TQvTcpSocket(const TQvTcpSocket&) = delete;
  TQvTcpSocket& operator=(const TQvTcpSocket&) = delete;

  // Milliseconds that Receive waits for the next byte (and SendAll for
  // room to write); 0 or less waits for ever.
  void SetReadTimeout(int milliseconds) { FReadTimeoutMs = milliseconds; }
  // Every read and write fails once the deadline has passed, however
  // steadily bytes arrive.
  void SetDeadline(const TQvTransferDeadline* deadline) { FDeadline = deadline; }

  void SendAll(const char* data, size_t size) override;
  size_t Receive(char* buffer, size_t size) override;

private:
  explicit TQvTcpSocket(intptr_t handle) : FHandle(handle) {}
  // The wait before the next byte: the read time-out, cut short by the
  // deadline; and the failure when it ends, the deadline's if that passed.
  int Wait() const { return FDeadline ? FDeadline->Bound(FReadTimeoutMs) : FReadTimeoutMs; }
  [[noreturn]] void TimedOut(const std::string& what) const;
  // The connection attempt's failure when its time-out ends, and how long
  // it may still wait (0: for ever): until the connect time-out's end and
  // the transfer's, whichever comes first.
  [[noreturn]] static void ConnectTimedOut(const std::string& host, uint16_t port, int connectTimeoutMs);
  static int ConnectWait(const std::string& host, uint16_t port, std::chrono::steady_clock::time_point connectEnd,
                         int connectTimeoutMs, const TQvTransferDeadline* deadline);
  intptr_t FHandle;  // the platform's socket (an fd, or a SOCKET on Windows)
  int FReadTimeoutMs = 0;
  const TQvTransferDeadline* FDeadline = nullptr;
};
