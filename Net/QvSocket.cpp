// The parts of the byte channels that both platforms share.
#include <climits>

#include "QvSocket.h"
#include "QvSysUtils.h"

bool TQvTransferDeadline::Passed() const { return Active && std::chrono::steady_clock::now() >= End; }

int TQvTransferDeadline::Bound(int waitMs) const {
  if (!Active) return waitMs;
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(End - std::chrono::steady_clock::now()).count();
  if (left <= 0) Expired();
  const int capped = left > INT_MAX ? INT_MAX : static_cast<int>(left);
  return waitMs > 0 && waitMs < capped ? waitMs : capped;
}

void TQvTransferDeadline::Expired() const {
  const std::string limit =
      LimitMs % 1000 == 0 ? std::to_string(LimitMs / 1000) + " s" : std::to_string(LimitMs) + " ms";
  throw ENetError(Utf8ToWide("The transfer did not finish within " + limit));
}

void TQvTcpSocket::TimedOut(const std::string& what) const {
  if (FDeadline && FDeadline->Passed()) FDeadline->Expired();
  throw ENetError(Utf8ToWide(what));
}

void TQvTcpSocket::ConnectTimedOut(const std::string& host, uint16_t port, int connectTimeoutMs) {
  throw ENetError(Utf8ToWide("Connection to " + host + ":" + std::to_string(port) + " timed out after " +
                             std::to_string(connectTimeoutMs) + " ms"));
}

int TQvTcpSocket::ConnectWait(const std::string& host, uint16_t port, std::chrono::steady_clock::time_point connectEnd,
                              int connectTimeoutMs, const TQvTransferDeadline* deadline) {
  int wait = 0;
  if (connectTimeoutMs > 0) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(connectEnd - std::chrono::steady_clock::now()).count();
    if (left <= 0) ConnectTimedOut(host, port, connectTimeoutMs);
    wait = static_cast<int>(left);
  }
  return deadline ? deadline->Bound(wait) : wait;
}
