// Byte channels under the HTTP client: a TCP connection with connect and
// read time-outs, and the interface that the TLS layer also offers, so the
// HTTP code reads and writes the same way over either.
#pragma once

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

class TQvTcpSocket : public TQvByteChannel {
public:
  // Resolves host and connects to the first of its addresses that answers.
  // The connect time-out bounds the whole attempt over all addresses; the
  // resolver itself runs under the system's own limits.
  static std::unique_ptr<TQvTcpSocket> Connect(const std::string& host, uint16_t port, int connectTimeoutMs);
  ~TQvTcpSocket() override;
  TQvTcpSocket(const TQvTcpSocket&) = delete;
  TQvTcpSocket& operator=(const TQvTcpSocket&) = delete;

  // Milliseconds that Receive waits for the next byte (and SendAll for
  // room to write); 0 or less waits for ever.
  void SetReadTimeout(int milliseconds) { FReadTimeoutMs = milliseconds; }

  void SendAll(const char* data, size_t size) override;
  size_t Receive(char* buffer, size_t size) override;

private:
  explicit TQvTcpSocket(intptr_t handle) : FHandle(handle) {}
  intptr_t FHandle;  // the platform's socket (an fd, or a SOCKET on Windows)
  int FReadTimeoutMs = 0;
};
