#include "IndyProxySettingsFrm.h"

#include <memory>

#include "QvSysUtils.h"
#include "QvVclUtils.h"

namespace {

// Blanks and control characters around the address go; inside it nothing
// is touched.
WideString TrimAddress(const WideString& text) {
  size_t first = 0, last = text.size();
  while (first < last && text[first] <= u' ') ++first;
  while (last > first && text[last - 1] <= u' ') --last;
  return text.substr(first, last - first);
}

}  // namespace

TIndyProxySettingsForm::TIndyProxySettingsForm(TTkForm* owner) : TBaseDialogForm(owner, 430, 304) {
  SetCaption(u"代理服务器设置");
  auto radio = [this](const char16_t* name, int top, int width, const char16_t* caption) {
    TTkRadioButton* r = new TTkRadioButton(pnlBkClient);
    r->Name = name;
    r->SetCaption(caption);
    r->SetBounds(40, top, width, 16);
    r->OnClick = [this] { UpdateControls(); };
    return r;
  };
  rbNoProxy = radio(u"rbNoProxy", 40, 114, u"不使用代理服务器");
  rbUseProxy = radio(u"rbUseProxy", 72, 162, u"使用以下指定的代理服务器");
  // The labels end at x = 136, flush with their fields.
  auto label = [this](const char16_t* name, int left, int top, int width, const char16_t* caption) {
    TTkLabel* l = new TTkLabel(pnlBkClient);
    l->Name = name;
    l->SetCaption(caption);
    l->SetAlignment(TTextAlign::taRight);
    l->SetBounds(left, top, width, 14);
    return l;
  };
  auto edit = [this](TTkEdit* e, const char16_t* name, int top, int width) {
    e->Name = name;
    e->SetBounds(136, top, width, 22);
    return e;
  };
  lblProxyAddress = label(u"lblProxyAddress", 64, 106, 72, u"服务器地址：");
  edtProxyAddress = edit(new TTkEdit(pnlBkClient), u"edtProxyAddress", 102, 201);
  lblProxyPort = label(u"lblProxyPort", 100, 135, 36, u"端口：");
  edtProxyPort = static_cast<TTkSpinEdit*>(edit(new TTkSpinEdit(pnlBkClient), u"edtProxyPort", 131, 121));
  lblProxyUser = label(u"lblProxyUser", 88, 164, 48, u"用户名：");
  edtProxyUser = edit(new TTkEdit(pnlBkClient), u"edtProxyUser", 160, 201);
  lblProxyPassword = label(u"lblProxyPassword", 100, 194, 36, u"密码：");
  edtProxyPassword = edit(new TTkEdit(pnlBkClient), u"edtProxyPassword", 190, 201);
  rbNoProxy->SetTabOrder(0);
  rbUseProxy->SetTabOrder(1);
  edtProxyAddress->SetTabOrder(2);
  edtProxyPort->SetTabOrder(3);
  edtProxyUser->SetTabOrder(4);
  edtProxyPassword->SetTabOrder(5);

  // OK closes only after the check.
  btnOk->ModalResult = mrNone;
  btnOk->OnClick = [this] { btnOkClick(); };
}

void TIndyProxySettingsForm::LoadFromProxy(const TQvHttpProxy& proxy) {
  rbNoProxy->SetChecked(!proxy.Checked);
  rbUseProxy->SetChecked(proxy.Checked);
  edtProxyAddress->SetText(proxy.Address);
  edtProxyPort->SetValue(proxy.Port);
  edtProxyUser->SetText(proxy.UserName);
  edtProxyPassword->SetText(proxy.Password);
  UpdateControls();
}

void TIndyProxySettingsForm::SaveToProxy(TQvHttpProxy& proxy) const {
  proxy.Checked = rbUseProxy->Checked();
  proxy.Address = TrimAddress(edtProxyAddress->Text());
  proxy.Port = edtProxyPort->Value();
  proxy.UserName = edtProxyUser->Text();
  proxy.Password = edtProxyPassword->Text();
}

void TIndyProxySettingsForm::UpdateControls() {
  const bool use = rbUseProxy->Checked();
  for (TTkControl* c : {static_cast<TTkControl*>(lblProxyAddress), static_cast<TTkControl*>(edtProxyAddress),
                        static_cast<TTkControl*>(lblProxyPort), static_cast<TTkControl*>(edtProxyPort),
                        static_cast<TTkControl*>(lblProxyUser), static_cast<TTkControl*>(edtProxyUser),
                        static_cast<TTkControl*>(lblProxyPassword), static_cast<TTkControl*>(edtProxyPassword)})
    c->SetEnabled(use);
}

bool TIndyProxySettingsForm::ValidateInput() {
  if (!rbUseProxy->Checked()) return true;
  if (!TrimAddress(edtProxyAddress->Text()).empty()) return true;
  TQvVclfn::ShowInfo(Handle(), u"服务器地址不能为空，请重新输入。");
  edtProxyAddress->SetFocus();
  return false;
}

void TIndyProxySettingsForm::btnOkClick() {
  if (ValidateInput()) SetModalResult(mrOk);
}

bool TIndyProxySettingsForm::Execute(TTkForm* owner, TQvHttpProxy& proxy) {
  std::unique_ptr<TIndyProxySettingsForm> form(new TIndyProxySettingsForm(owner));
  form->LoadFromProxy(proxy);
  if (form->ShowModal() != mrOk) return false;
  form->SaveToProxy(proxy);
  return true;
}
