#include "QvIndyUtils.h"

#include <memory>

const TClassInfo& TQvHttpProxy::StaticClassInfo() {
  using C = TQvHttpProxy;
  static const TClassInfo info("TQvHttpProxy", &TXmlPersistent::StaticClassInfo(),
                               {WStrProp("Address", &C::Address), BoolProp("Checked", &C::Checked),
                                WStrProp("Password", &C::Password), IntegerProp("Port", &C::Port),
                                WStrProp("UserName", &C::UserName)});
  return info;
}

TQvHttpProxy::TQvHttpProxy() { Port = 8080; }

TQvHttpProxy& HttpProxy() {
  static const std::unique_ptr<TQvHttpProxy> proxy(new TQvHttpProxy());
  return *proxy;
}
