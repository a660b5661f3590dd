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
