// The system's controls under the toolkit: push button, check box and
// radio button, edit field, memo and drop-down list. Their notifications
// come back from the parent through Reflected, their colours through
// CtlColor.
#include <algorithm>

#include "TkControls.h"
#include "TkForm.h"
#include "TkGdi.h"

using tk::W;

namespace {

HWND ParentHandle(TTkControl* parent) { return parent ? parent->Handle() : nullptr; }

WideString WindowText(HWND wnd) {
  if (!wnd) return WideString();
  const int length = ::GetWindowTextLengthW(wnd);
  if (length <= 0) return WideString();
  WideString text(static_cast<size_t>(length) + 1, u'\0');
  const int copied = ::GetWindowTextW(wnd, reinterpret_cast<wchar_t*>(&text[0]), length + 1);
  text.resize(static_cast<size_t>(std::max(copied, 0)));
  return text;
}

}  // namespace

// ---- push button

TTkButton::TTkButton(TTkControl* parent) : TTkControl(parent) {
  CreateHandle(L"BUTTON", BS_PUSHBUTTON | WS_TABSTOP, 0, ParentHandle(parent));
  SetBounds(0, 0, 75, 25);
}

void TTkButton::PerformClick() { Click(); }

void TTkButton::Click() {
  TTkControl::Click();
  if (ModalResult != mrNone) {
    if (auto* form = dynamic_cast<TTkForm*>(TopLevel())) form->SetModalResult(ModalResult);
  }
}

bool TTkButton::Reflected(UINT msg, WPARAM wParam, LPARAM, LRESULT& result) {
  if (msg != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) return false;
  Click();
  result = 0;
  return true;
}

// ---- check box and radio button

TTkCheckBox::TTkCheckBox(TTkControl* parent) : TTkCheckBox(parent, false) {}

// The radio button is not an automatic one: the toolkit clears its
// siblings itself, whatever their stacking order.
TTkCheckBox::TTkCheckBox(TTkControl* parent, bool radio) : TTkControl(parent), FRadio(radio) {
  CreateHandle(L"BUTTON", (radio ? BS_RADIOBUTTON : BS_AUTOCHECKBOX) | WS_TABSTOP, 0, ParentHandle(parent));
  SetBounds(0, 0, 97, 17);
}

bool TTkCheckBox::Checked() const {
  return Handle() && ::SendMessageW(Handle(), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void TTkCheckBox::SetChecked(bool checked) {
  if (!Handle() || Checked() == checked) return;
  ::SendMessageW(Handle(), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
  if (FRadio && checked && Parent()) {
    for (TTkControl* sibling : Parent()->Controls()) {
      auto* other = dynamic_cast<TTkCheckBox*>(sibling);
      if (other && other != this && other->FRadio && other->Handle())
        ::SendMessageW(other->Handle(), BM_SETCHECK, BST_UNCHECKED, 0);
    }
  }
  if (!FRadio || checked) Click();
}

bool TTkCheckBox::Reflected(UINT msg, WPARAM wParam, LPARAM, LRESULT& result) {
  if (msg != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) return false;
  if (FRadio)
    SetChecked(true);  // clicks on a checked radio button change nothing
  else
    Click();  // the automatic check box has toggled already
  result = 0;
  return true;
}

void TTkCheckBox::SetCaption(const WideString& caption) {
  TTkControl::SetCaption(caption);
  AdjustWidth();
}

void TTkCheckBox::SetFont(const TTkFont& font) {
  TTkControl::SetFont(font);
  AdjustWidth();
}

// The box, a gap, and the caption in the control's font.
void TTkCheckBox::AdjustWidth() {
  if (!Handle()) return;
  tk::TWindowDC dc(Handle());
  if (!dc.Get()) return;
  tk::TSelection font(dc.Get(), FontHandle());
  SIZE size = {};
  const WideString& text = Caption();
  ::GetTextExtentPoint32W(dc.Get(), W(text), static_cast<int>(text.size()), &size);
  SetBounds(Left(), Top(), ::GetSystemMetrics(SM_CXMENUCHECK) + 8 + size.cx, Height());
}

TTkRadioButton::TTkRadioButton(TTkControl* parent) : TTkCheckBox(parent, true) {}

// ---- edit field

TTkEdit::TTkEdit(TTkControl* parent) : TTkControl(parent) {
  CreateHandle(L"EDIT", ES_AUTOHSCROLL | WS_TABSTOP | WS_BORDER, 0, ParentHandle(parent));
  SetBounds(0, 0, 121, 21);
  SetColor(::GetSysColor(COLOR_WINDOW));
}

WideString TTkEdit::Text() const { return WindowText(Handle()); }

void TTkEdit::SetText(const WideString& text) { SetCaption(text); }

// A disabled field keeps the system's grey.
HBRUSH TTkEdit::CtlColor(HDC dc) { return Enabled() ? TTkControl::CtlColor(dc) : nullptr; }

// ---- memo

TTkMemo::TTkMemo(TTkControl* parent) : TTkControl(parent) {
  CreateHandle(L"EDIT", ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE,
               ParentHandle(parent));
  SetBounds(0, 0, 185, 89);
  SetColor(::GetSysColor(COLOR_WINDOW));
}

WideString TTkMemo::Text() const { return WindowText(Handle()); }

void TTkMemo::SetText(const WideString& text) {
  WideString lines;
  lines.reserve(text.size() + text.size() / 16);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\n' && (i == 0 || text[i - 1] != u'\r')) lines += u'\r';
    lines += text[i];
  }
  SetCaption(lines);
}

// Read-only text asks for the static colours; it stays on white.
HBRUSH TTkMemo::CtlColor(HDC dc) { return Enabled() ? TTkControl::CtlColor(dc) : nullptr; }

// ---- drop-down list

TTkComboBox::TTkComboBox(TTkControl* parent) : TTkControl(parent) {
  CreateHandle(L"COMBOBOX", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 0, ParentHandle(parent));
  SetBounds(0, 0, 145, 21);
}

void TTkComboBox::Clear() {
  if (Handle()) ::SendMessageW(Handle(), CB_RESETCONTENT, 0, 0);
}

void TTkComboBox::AddItem(const WideString& text) {
  if (Handle()) ::SendMessageW(Handle(), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(W(text)));
}

int TTkComboBox::ItemCount() const {
  return Handle() ? static_cast<int>(::SendMessageW(Handle(), CB_GETCOUNT, 0, 0)) : 0;
}

int TTkComboBox::ItemIndex() const {
  return Handle() ? static_cast<int>(::SendMessageW(Handle(), CB_GETCURSEL, 0, 0)) : -1;
}

void TTkComboBox::SetItemIndex(int index) {
  if (Handle()) ::SendMessageW(Handle(), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void TTkComboBox::SetItemHeight(int height) {
  if (!Handle()) return;
  ::SendMessageW(Handle(), CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), height);
  ::SendMessageW(Handle(), CB_SETITEMHEIGHT, 0, height);
}

// The window's height is that of the dropped list; the closed box takes
// the height its items give it, and Height() reports that.
void TTkComboBox::SetBounds(int left, int top, int width, int height) {
  int item = Handle() ? static_cast<int>(::SendMessageW(Handle(), CB_GETITEMHEIGHT, 0, 0)) : 0;
  if (item <= 0) item = 16;
  TTkControl::SetBounds(left, top, width, height + 8 * item + 2);
}

bool TTkComboBox::Reflected(UINT msg, WPARAM wParam, LPARAM, LRESULT& result) {
  if (msg != WM_COMMAND || HIWORD(wParam) != CBN_SELCHANGE) return false;
  Click();
  result = 0;
  return true;
}

HBRUSH TTkComboBox::CtlColor(HDC) { return nullptr; }
