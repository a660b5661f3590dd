#include "LicenseFrm.h"

#include <memory>

TLicenseForm::TLicenseForm(TTkForm* owner) : TBaseForm(owner) {
  SetBorderIcons(false, true);
  SetClientSize(784, 461);
  SetCaption(u"用户许可协议");
  memLicense = new TTkMemo(this);
  memLicense->Name = u"memLicense";
  memLicense->SetAlign(TAlign::alClient);
}

bool TLicenseForm::KeyDown(WORD& key, unsigned shift) {
  if (TBaseForm::KeyDown(key, shift)) return true;
  if (key != VK_ESCAPE || shift != 0) return false;
  SetModalResult(mrCancel);
  return true;
}

void TLicenseForm::Execute(TTkForm* owner, const WideString& caption, const WideString& text) {
  std::unique_ptr<TLicenseForm> form(new TLicenseForm(owner));
  form->SetCaption(caption);
  form->memLicense->SetText(text);
  form->ShowModal();
}
