// The license window: the agreement text, read-only, in a resizable window.
#pragma once

#include "BaseFrm.h"

class TLicenseForm : public TBaseForm {
public:
  static void Execute(TTkForm* owner, const WideString& caption, const WideString& text);

  explicit TLicenseForm(TTkForm* owner);
  // Esc closes the window, as it closes every other dialog of the
  // installer; the window has no button of its own to answer it.
  bool KeyDown(WORD& key, unsigned shift) override;

  TTkMemo* memLicense;
};
