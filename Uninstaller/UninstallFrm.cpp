#include "UninstallFrm.h"

#include "TkApplication.h"
#include "TkSkin.h"

TUninstallForm::TUninstallForm(COLORREF color, const WideString& caption, const WideString& heading,
                               const WideString& wait)
    : TBaseForm(nullptr) {
  // The product's colour is the skin's accent here too, as in the installer.
  tkskin::SetAccent(color);
  SetBorderStyle(TBorderStyle::bsNone);
  SetClientSize(480, 200);
  SetCaption(caption);
  // Removal stopped halfway would leave a product that neither runs nor
  // uninstalls again: the window stays until the work is done.
  OnCloseQuery = [](bool& allow) { allow = false; };

  pnlMainFormColor = new TTkPanel(this);
  pnlMainFormColor->Name = u"pnlMainFormColor";
  pnlMainFormColor->SetSingleBorder(true);
  pnlMainFormColor->SetColor(color);
  pnlMainFormColor->SetAlign(TAlign::alClient);

  lblAppTitle = new TTkLabel(pnlMainFormColor);
  lblAppTitle->Name = u"lblAppTitle";
  lblAppTitle->SetFont(TTkFont::Of(kYaHei, 27, kWhite));
  lblAppTitle->SetBounds(8, 24, 464, 60);
  lblAppTitle->SetAlignment(TTextAlign::taCenter);
  lblAppTitle->SetVerticalCenter(true);
  lblAppTitle->SetCaption(heading);

  pnlBottom = new TTkPanel(pnlMainFormColor);
  pnlBottom->Name = u"pnlBottom";
  pnlBottom->SetColor(kWhite);
  pnlBottom->SetHeight(90);
  pnlBottom->SetAlign(TAlign::alBottom);

  pbProgress = new TTkProgressBar(pnlBottom);
  pbProgress->Name = u"pbProgress";
  pbProgress->SetBounds(16, 24, 446, 17);

  lblDetail = new TTkLabel(pnlBottom);
  lblDetail->Name = u"lblDetail";
  lblDetail->SetFont(TTkFont::Of(u"Tahoma", 12));
  lblDetail->SetBounds(16, 50, 446, 16);
  lblDetail->SetCaption(wait);
}

void TUninstallForm::SetItemCount(int count) {
  pbProgress->SetMax(count > 0 ? count : 1);
  pbProgress->SetPosition(0);
}

void TUninstallForm::StepItem(const WideString& detail) {
  pbProgress->SetPosition(pbProgress->Position() + 1);
  lblDetail->SetCaption(detail);
  lblDetail->Repaint();
  ProcessMessages();
}

void TUninstallForm::Finish() {
  pbProgress->SetPosition(pbProgress->Max());
  lblDetail->SetCaption(WideString());
  lblDetail->Repaint();
  ProcessMessages();
}

void TUninstallForm::ProcessMessages() { Application().ProcessMessages(); }
