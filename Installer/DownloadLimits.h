// How far the online setup lets its two requests go: the download of the
// full setup and the completion call at the end. The installer and the
// native tests of these bounds set up the client through the same calls.
#pragma once

#include <cstdint>

#include "PackageResources.h"
#include "QvIndyUtils.h"

// The whole download of the full setup, however steadily it moves; the
// client's read time-out still ends a transfer that stops.
constexpr int kFullDownloadLimitMs = 30 * 60 * 1000;
// The completion call: its answer changes nothing, so it gets little time
// and little room, and an installation's end never waits longer for it.
constexpr int kCompletionCallLimitMs = 10 * 1000;
constexpr int kCompletionCallConnectMs = 5 * 1000;
constexpr int64_t kCompletionCallMaxBody = 4 * 1024;

// No more than a setup can hold, within the time limit. A pinned setup
// takes any certificate (and a redirect to http): the pin decides what is
// installed, and intercepting proxies stay usable. Without a pin the
// server has to prove who it is.
inline void LimitFullDownload(TQvHttp& http, bool pinned) {
  http.SetMaxBodySize(static_cast<int64_t>(kMaxSetupBytes));
  http.SetTransferLimit(kFullDownloadLimitMs);
  http.SetVerifyServer(!pinned);
}

inline void LimitCompletionCall(TQvHttp& http) {
  http.SetConnectTimeout(kCompletionCallConnectMs);
  http.SetReadTimeout(kCompletionCallLimitMs);
  http.SetTransferLimit(kCompletionCallLimitMs);
  http.SetMaxBodySize(kCompletionCallMaxBody);
}
