// The proxy settings that every HTTP request of the process obeys. The
// HTTP client that reads them comes with online installation.
#pragma once

#include <cstdint>

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
