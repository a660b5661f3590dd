#include "DownloadFailureFrm.h"

#include <windows.h>

#include <cstring>
#include <memory>

#include "QvSysUtils.h"
#include "QvWindows.h"

namespace {

// Puts bytes on the clipboard in a format; the clipboard owns them after.
void PutOnClipboard(UINT format, const void* bytes, size_t size) {
  HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, size);
  if (!memory) return;
  if (void* target = ::GlobalLock(memory)) {
    std::memcpy(target, bytes, size);
    ::GlobalUnlock(memory);
    if (::SetClipboardData(format, memory)) return;
  }
  ::GlobalFree(memory);
}

}  // namespace

TDownloadFailureForm::TDownloadFailureForm(TTkForm* owner) : TBaseDialogForm(owner, 534, 261) {
  auto line = [this](const char16_t* name, const char16_t* text) {
    TTkLabel* l = new TTkLabel(pnlBkClient);
    l->Name = name;
    l->SetCaption(text);
    l->SetVerticalCenter(true);
    l->SetHeight(30);
    l->SetAlign(TAlign::alTop);
    return l;
  };
  TntLabel2 = line(u"TntLabel2", u"您的电脑可能没有连接到互联网，在线安装失败。");
  TntLabel1 = line(u"TntLabel1", u"如果您是通过代理服务器上网的，您可以点击【重试】按钮返回到首页设置代理服务器。");
  TntLabel3 = line(u"TntLabel3", u"您还可以使用以下地址下载离线安装包，然后运行离线安装包进行安装。");

  TntPanel1 = new TTkPanel(pnlBkClient);
  TntPanel1->Name = u"TntPanel1";
  TntPanel1->SetHeight(33);
  TntPanel1->SetAlign(TAlign::alBottom);
  btnBrowser = new TTkButton(TntPanel1);
  btnBrowser->Name = u"btnBrowser";
  btnBrowser->SetCaption(u"使用浏览器下载");
  btnBrowser->SetBounds(0, 8, 137, 25);
  btnBrowser->OnClick = [this] { btnBrowserClick(); };
  btnCopy = new TTkButton(TntPanel1);
  btnCopy->Name = u"btnCopy";
  btnCopy->SetCaption(u"复制到剪贴板");
  btnCopy->SetBounds(144, 8, 121, 25);
  btnCopy->OnClick = [this] { btnCopyClick(); };

  memUrl = new TTkMemo(pnlBkClient);
  memUrl->Name = u"memUrl";
  memUrl->SetAlign(TAlign::alClient);

  btnOk->SetCaption(u"退出安装");
  btnCancel->SetCaption(u"重试");
}

void TDownloadFailureForm::btnBrowserClick() { TQvWinfn::OpenUrl(FUrl); }

// Both as 8-bit text (in the system's code page) and as Unicode text, for
// programs that read only one of them.
void TDownloadFailureForm::btnCopyClick() {
  if (!::OpenClipboard(Handle())) return;
  ::EmptyClipboard();
  const RawByteString ansi = WideToAnsi(FUrl);
  PutOnClipboard(CF_TEXT, ansi.c_str(), ansi.size() + 1);
  PutOnClipboard(CF_UNICODETEXT, FUrl.c_str(), (FUrl.size() + 1) * sizeof(char16_t));
  ::CloseClipboard();
}

bool TDownloadFailureForm::Execute(TTkForm* owner, const WideString& appTitle, const WideString& url) {
  std::unique_ptr<TDownloadFailureForm> form(new TDownloadFailureForm(owner));
  form->SetCaption(Format(u"%s 在线安装失败", {appTitle}));
  form->FUrl = url;
  form->memUrl->SetText(url);
  return form->ShowModal() == mrOk;
}
