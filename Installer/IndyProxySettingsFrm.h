// The proxy settings dialog of an online setup: no proxy, or an address,
// port and credentials. Its texts are Simplified Chinese in every language.
#pragma once

#include "BaseFrm.h"
#include "QvIndyUtils.h"

class TIndyProxySettingsForm : public TBaseDialogForm {
public:
  // Shows proxy's settings; OK stores the edits into proxy and returns
  // true, any other way out leaves proxy as it was.
  static bool Execute(TTkForm* owner, TQvHttpProxy& proxy);

  explicit TIndyProxySettingsForm(TTkForm* owner);

  void LoadFromProxy(const TQvHttpProxy& proxy);
  // All five settings are stored also with "no proxy", so that they come
  // back when the proxy is switched on again.
  void SaveToProxy(TQvHttpProxy& proxy) const;
  // The address, port and credentials are editable only with a proxy.
  void UpdateControls();
  // A proxy needs an address; says so and keeps the dialog open otherwise.
  bool ValidateInput();

  TTkRadioButton* rbNoProxy;
  TTkRadioButton* rbUseProxy;
  TTkLabel* lblProxyAddress;
  TTkEdit* edtProxyAddress;
  TTkLabel* lblProxyPort;
  TTkSpinEdit* edtProxyPort;
  TTkLabel* lblProxyUser;
  TTkEdit* edtProxyUser;
  TTkLabel* lblProxyPassword;
  TTkEdit* edtProxyPassword;

private:
  void btnOkClick();
};
