#include "BaseFrm.h"

#include "QvVclUtils.h"

TBaseForm::TBaseForm(TTkForm* owner) : TTkForm(owner) {
  TTkFont font;
  font.Name = u"Tahoma";
  font.Height = 12;
  SetFont(font);
  TQvVclfn::SetDoubleBuffered(this);
}

bool TBaseForm::KeyDown(WORD& key, unsigned shift) {
  const bool handled = TTkForm::KeyDown(key, shift);
  TQvVclfn::FormKeyDown(this, shift, key);
  return handled;
}

// A dialog owned by the main window disables only that window, so nothing
// else of the desktop is blocked while it is up.
int TBaseForm::ShowModal() {
  if (Owner() != nullptr) return TQvVclfn::ShowModalOwned(this, Owner());
  return TTkForm::ShowModal();
}

void TBaseForm::CreateButtonBar(TTkPanel*& bar, TTkBevel*& separator) {
  bar = new TTkPanel(this);
  bar->Name = u"pnlButtons";
  bar->SetHeight(41);
  bar->SetAlign(TAlign::alBottom);
  separator = new TTkBevel(bar);
  separator->Name = u"bvlButtons";
  separator->SetHeight(2);
  separator->SetAlign(TAlign::alTop);
}

TTkButton* TBaseForm::CreateBarButton(TTkPanel* bar, const char16_t* name, int left, int width, int modalResult) {
  TTkButton* button = new TTkButton(bar);
  button->Name = name;
  button->SetBounds(left, 8, width, 25);
  button->ModalResult = modalResult;
  return button;
}

TBaseDialogForm::TBaseDialogForm(TTkForm* owner, int clientWidth, int clientHeight) : TBaseForm(owner) {
  SetBorderStyle(TBorderStyle::bsDialog);
  SetClientSize(clientWidth, clientHeight);

  CreateButtonBar(pnlButtons, bvlButtons);
  pnlBkClient = new TTkPanel(this);
  pnlBkClient->Name = u"pnlBkClient";
  pnlBkClient->SetBorderWidth(8);
  pnlBkClient->SetAlign(TAlign::alClient);

  auto makeButton = [this](const char16_t* name, const WideString& caption, int modalResult) {
    TTkButton* button = CreateBarButton(pnlButtons, name, 0, 75, modalResult);
    button->SetCaption(caption);
    return button;
  };
  btnOk = makeButton(u"btnOk", u"确定", mrOk);
  btnCancel = makeButton(u"btnCancel", u"取消", mrCancel);
  btnApply = makeButton(u"btnApply", u"应用", mrNone);
  SetDefaultButton(btnOk);
  SetCancelButton(btnCancel);
  ButtonLayout = 1;
  LayoutButtons();
}

// The rightmost button keeps an 8-pixel margin from the right edge;
// neighbours are 8 pixels apart. Layout 0 shows OK, 1 adds Cancel, 2 adds
// Apply; any other value changes nothing.
void TBaseDialogForm::LayoutButtons() {
  if (ButtonLayout > 2) return;
  TTkButton* const buttons[] = {btnOk, btnCancel, btnApply};
  const int shown = ButtonLayout + 1;
  int right = ClientWidth() - 8;
  for (int i = 2; i >= 0; --i) {
    buttons[i]->SetVisible(i < shown);
    if (i >= shown) continue;
    buttons[i]->SetLeft(right - buttons[i]->Width());
    right = buttons[i]->Left() - 8;
  }
}
