// The HTTP client of the installer and the proxy settings that every one
// of its requests obeys.
//
// Net/ is the network room: this client, what it puts on the wire
// (QvHttpWire), its sockets, TLS and NTLM, each with a Windows and a POSIX
// half. It builds on the base and on Xml/ (the proxy settings are a
// persistent object); only programs that download link it, and with it a
// TLS stack.
#pragma once

#include <cstdint>
#include <limits>
#include <functional>
#include <memory>

#include "QvClasses.h"
#include "QvXmlUtils.h"

class TQvHttpProxy : public TXmlPersistent {
  QV_PERSISTENT(TQvHttpProxy)
public:
  TQvHttpProxy();

  // Published, in this order.
  WideString Address;   // host name or address of the proxy
  bool Checked = false; // true: every request goes through the proxy
  WideString Password;
  int32_t Port = 8080;
  WideString UserName;
};

// The process-wide settings: made with the defaults on first use.
TQvHttpProxy& HttpProxy();

// ---- the client --------------------------------------------------------------

enum TWorkMode { wmRead, wmWrite };

// The busy cursor as the window layer numbers its cursors (its
// crHourGlass); the core knows the number, not the window layer's type.
constexpr int16_t kHttpBusyCursor = -11;

// How the client reaches the screen cursor. The window layer installs
// these at start (the client itself knows no windows); without them, as in
// the native build, Get leaves the cursor alone. IsMainThread tells
// whether the calling thread is the one that owns the windows; cursors
// travel as the window layer's numbers.
struct TQvHttpCursorHooks {
  bool (*IsMainThread)() = nullptr;
  int16_t (*GetCursor)() = nullptr;
  void (*SetCursor)(int16_t cursor) = nullptr;
};
void SetHttpCursorHooks(const TQvHttpCursorHooks& hooks);

class TQvHttp {
public:
  using TWorkBeginEvent = std::function<void(TQvHttp* Sender, TWorkMode AWorkMode, int64_t AWorkCountMax)>;
  using TWorkEvent = std::function<void(TQvHttp* Sender, TWorkMode AWorkMode, int64_t AWorkCount)>;
  using TWorkEndEvent = std::function<void(TQvHttp* Sender, TWorkMode AWorkMode)>;

  TQvHttp();
  ~TQvHttp();
  TQvHttp(const TQvHttp&) = delete;
  TQvHttp& operator=(const TQvHttp&) = delete;

  // GET Url into ResponseStream (emptied first, rewound to 0 afterwards).
  // True when the final status was 2xx and the whole body arrived; false
  // on any failure, which never escapes as an exception.
  bool Get(const WideString& Url);
  // The same, with the body written to Dest as it arrives (from Dest's
  // position on) instead of memory: a large download goes straight to a
  // file. Only the body of the final 2xx response reaches Dest; after a
  // false result Dest may hold part of it.
  bool Get(const WideString& Url, TStream& Dest);

  TMemoryStream& ResponseStream() { return *FResponseStream; }
  // Bounds the connection attempt (default 60000 ms).
  void SetConnectTimeout(int32_t Milliseconds);
  // How long a transfer may go without a single byte before it fails
  // (default 60000 ms); 0 waits for ever.
  void SetReadTimeout(int32_t Milliseconds);
  // How long one Get may take in all, its connections, redirects and
  // slowest trickle included (default 0: no limit beyond the time-outs).
  void SetTransferLimit(int32_t Milliseconds);
  // The most bytes a body may hold (default: as many as the destination
  // can). A larger announced length fails before the first byte is
  // written; a body without one fails when it passes the bound, having
  // written no more than that.
  void SetMaxBodySize(int64_t Bytes);
  // Whether an https server must prove who it is (default true): its
  // certificate chains to a root the system trusts and names the URL's
  // host, and no redirect leads from https to plain http. Off, any
  // certificate is taken: for a download whose content is checked
  // another way, through an intercepting proxy as well.
  void SetVerifyServer(bool Verify);

  // Status of the last response received (0 when none arrived) and the
  // reason of the last failure, for the caller's diagnostics.
  int ResponseCode() const { return FResponseCode; }
  const WideString& LastError() const { return FLastError; }

  // Fired on the calling thread inside Get, for the body of the final
  // response: the announced size (0 when unknown), the running count, the
  // end (also after a failure).
  TWorkBeginEvent OnWorkBegin;
  TWorkEvent OnWork;
  TWorkEndEvent OnWorkEnd;

private:
  struct TTransport;
  bool GetInto(const WideString& url, TStream& dest, int64_t maxBody);

  std::unique_ptr<TTransport> FTransport;
  int16_t FSavedCursor = 0;  // the screen cursor before the current Get
  std::unique_ptr<TMemoryStream> FResponseStream;
  int FResponseCode = 0;
  WideString FLastError;
  int64_t FMaxBodySize = std::numeric_limits<int64_t>::max();
  bool FVerifyServer = true;
};
