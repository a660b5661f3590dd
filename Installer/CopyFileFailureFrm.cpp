#include "CopyFileFailureFrm.h"

#include <memory>

#include "QvSysUtils.h"
#include "SetupTexts.h"

TCopyFileFailureForm::TCopyFileFailureForm(TTkForm* owner) : TBaseForm(owner) {
  SetClientSize(572, 268);
  SetCaption(u"复制文件失败");

  CreateButtonBar(pnlButtons, bvlButtons);
  TntPanel1 = new TTkPanel(this);
  TntPanel1->Name = u"TntPanel1";
  TntPanel1->SetBorderWidth(32);
  TntPanel1->SetAlign(TAlign::alClient);
  lblInfo = new TTkLabel(TntPanel1);
  lblInfo->Name = u"lblInfo";
  lblInfo->SetWordWrap(true);
  lblInfo->SetAlign(TAlign::alClient);

  // Left-aligned in the order Retry, Ignore, Abort, 12 pixels apart; the
  // tab order is Retry, Abort, Ignore.
  auto makeButton = [this](const char16_t* name, int left, int modalResult) {
    return CreateBarButton(pnlButtons, name, left, 100, modalResult);
  };
  btnRetry = makeButton(u"btnRetry", 9, mrRetry);
  btnAbort = makeButton(u"btnAbort", 233, mrAbort);
  btnIgnore = makeButton(u"btnIgnore", 121, mrIgnore);
  btnRetry->SetTabOrder(0);
  btnAbort->SetTabOrder(1);
  btnIgnore->SetTabOrder(2);
  // Enter retries; Esc skips the file.
  SetDefaultButton(btnRetry);
  SetCancelButton(btnIgnore);
}

void TCopyFileFailureForm::ApplyTexts() {
  SetCaption(SetupText(tidCopyFailureCaption, FLanguage));
  btnRetry->SetCaption(SetupText(tidRetry, FLanguage));
  btnIgnore->SetCaption(SetupText(tidIgnore, FLanguage));
  btnAbort->SetCaption(SetupText(tidExitSetup, FLanguage));
  lblInfo->SetCaption(Format(SetupText(tidCopyFailureMessageFmt, FLanguage), {FFileName, FReason}));
}

int TCopyFileFailureForm::Execute(TTkForm* owner, const WideString& fileName, const WideString& language,
                                  const WideString& reason) {
  std::unique_ptr<TCopyFileFailureForm> form(new TCopyFileFailureForm(owner));
  form->FFileName = fileName;
  form->FLanguage = language;
  form->FReason = reason;
  form->ApplyTexts();
  return form->ShowModal();
}
