// The license window: the agreement text, read-only, in a resizable window.
#pragma once

#include "BaseFrm.h"

class TLicenseForm : public TBaseForm {
public:
  static void Execute(TTkForm* owner, const WideString& caption, const WideString& text);

  explicit TLicenseForm(TTkForm* owner);

  TTkMemo* memLicense;
};
