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

TBaseDialogForm::TBaseDialogForm(TTkForm* owner, int clientWidth, int clientHeight) : TBaseForm(owner) {
  SetBorderStyle(TBorderStyle::bsDialog);
  SetClientSize(clientWidth, clientHeight);

  pnlButtons = new TTkPanel(this);
  pnlButtons->Name = u"pnlButtons";
  pnlButtons->SetHeight(41);
  pnlButtons->SetAlign(TAlign::alBottom);
  pnlBkClient = new TTkPanel(this);
  pnlBkClient->Name = u"pnlBkClient";
  pnlBkClient->SetBorderWidth(8);
  pnlBkClient->SetAlign(TAlign::alClient);

  bvlButtons = new TTkBevel(pnlButtons);
  bvlButtons->Name = u"bvlButtons";
  bvlButtons->SetHeight(2);
  bvlButtons->SetAlign(TAlign::alTop);

  auto makeButton = [this](const char16_t* name, const WideString& caption, int modalResult) {
    TTkButton* button = new TTkButton(pnlButtons);
    button->Name = name;
    button->SetBounds(0, 8, 75, 25);
    button->SetCaption(caption);
    button->ModalResult = modalResult;
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

// The rightmost button keeps 8 pixels from the right edge; neighbours are
// 8 pixels apart.
void TBaseDialogForm::LayoutButtons() {
  const int w = ClientWidth();
  switch (ButtonLayout) {
    case 0:
      btnOk->SetLeft(w - btnOk->Width() - 8);
      btnOk->Show();
      btnCancel->Hide();
      btnApply->Hide();
      break;
    case 1:
      btnCancel->SetLeft(w - btnCancel->Width() - 8);
      btnOk->SetLeft(btnCancel->Left() - btnOk->Width() - 8);
      btnOk->Show();
      btnCancel->Show();
      btnApply->Hide();
      break;
    case 2:
      btnApply->SetLeft(w - btnApply->Width() - 8);
      btnCancel->SetLeft(btnApply->Left() - btnCancel->Width() - 8);
      btnOk->SetLeft(btnCancel->Left() - btnOk->Width() - 8);
      btnOk->Show();
      btnCancel->Show();
      btnApply->Show();
      break;
    default:
      break;
  }
}
