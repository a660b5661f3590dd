// The language dialog: which of the offered languages the installation
// speaks. Its own texts follow the system's language.
#pragma once

#include <vector>

#include "BaseFrm.h"

class TSelectLangForm : public TBaseDialogForm {
public:
  // True and code set to the chosen language when the user confirms;
  // false (code unchanged) on Cancel, Esc or the close box.
  static bool Execute(TTkForm* owner, const std::vector<WideString>& codes, WideString& code);

  explicit TSelectLangForm(TTkForm* owner);

  TTkLabel* lblPrompt;
  TTkComboBox* cbxLangs;
};
