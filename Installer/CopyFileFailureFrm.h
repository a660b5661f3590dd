// The dialog that asks what to do with a file that cannot be written:
// retry, ignore the file, or leave the setup.
#pragma once

#include "BaseFrm.h"

class TCopyFileFailureForm : public TBaseForm {
public:
  // Shows the dialog modally over owner and returns its modal result:
  // mrRetry, mrIgnore, mrAbort, or mrCancel when closed by its close box.
  static int Execute(TTkForm* owner, const WideString& fileName, const WideString& language,
                     const WideString& reason);

  explicit TCopyFileFailureForm(TTkForm* owner);
  void ApplyTexts();

  WideString FFileName;
  WideString FLanguage;
  WideString FReason;

  TTkPanel* TntPanel1;
  TTkLabel* lblInfo;
  TTkPanel* pnlButtons;
  TTkBevel* bvlButtons;
  TTkButton* btnRetry;
  TTkButton* btnAbort;
  TTkButton* btnIgnore;
};
