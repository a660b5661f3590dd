// The dialog of a failed download: what may be wrong, the address for a
// download by hand, and the way back to the start page or out of setup.
// Its texts are Simplified Chinese in every language.
#pragma once

#include "BaseFrm.h"

class TDownloadFailureForm : public TBaseDialogForm {
public:
  // True when the user chose to end setup ("退出安装"); false for Retry,
  // Esc and the close box.
  static bool Execute(TTkForm* owner, const WideString& appTitle, const WideString& url);

  explicit TDownloadFailureForm(TTkForm* owner);

  TTkLabel* TntLabel2;
  TTkLabel* TntLabel1;
  TTkLabel* TntLabel3;
  TTkMemo* memUrl;
  TTkPanel* TntPanel1;
  TTkButton* btnBrowser;
  TTkButton* btnCopy;

private:
  void btnBrowserClick();
  void btnCopyClick();
  WideString FUrl;
};
