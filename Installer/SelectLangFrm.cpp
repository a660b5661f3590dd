#include "SelectLangFrm.h"

#include <memory>

#include "QvWindows.h"
#include "SetupRules.h"
#include "SetupTexts.h"

TSelectLangForm::TSelectLangForm(TTkForm* owner) : TBaseDialogForm(owner, 383, 158) {
  lblPrompt = new TTkLabel(pnlBkClient);
  lblPrompt->Name = u"lblPrompt";
  lblPrompt->SetAutoSize(true);
  lblPrompt->SetBounds(16, 36, 289, 14);
  cbxLangs = new TTkComboBox(pnlBkClient);
  cbxLangs->Name = u"cbxLangs";
  cbxLangs->SetBounds(16, 60, 289, 22);
  cbxLangs->SetItemHeight(14);
}

bool TSelectLangForm::Execute(TTkForm* owner, const std::vector<WideString>& codes, WideString& code) {
  std::unique_ptr<TSelectLangForm> form(new TSelectLangForm(owner));
  const WideString systemCode = TQvWinfn::UserLanguageAbbrev();
  form->cbxLangs->Clear();
  for (const WideString& c : codes) form->cbxLangs->AddItem(LanguageItemCaption(c));
  form->cbxLangs->SetItemIndex(PreselectedLanguage(codes, systemCode));
  form->SetCaption(SetupText(tidSelectLanguageCaption, systemCode));
  form->lblPrompt->SetCaption(SetupText(tidSelectLanguagePrompt, systemCode));
  form->btnOk->SetCaption(SetupText(tidOk, systemCode));
  form->btnCancel->SetCaption(SetupText(tidCancel, systemCode));
  if (form->ShowModal() != mrOk) return false;
  const int index = form->cbxLangs->ItemIndex();
  if (index < 0 || static_cast<size_t>(index) >= codes.size()) return false;
  code = codes[static_cast<size_t>(index)];
  return true;
}
