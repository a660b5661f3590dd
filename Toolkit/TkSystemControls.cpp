// The system's controls under the toolkit: push button, check box and
// radio button, edit field, memo and drop-down list. Their notifications
// come back from the parent through Reflected, their colours through
// CtlColor.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>

#include "QvSysUtils.h"
#include "TkControls.h"
#include "TkForm.h"
#include "TkGdi.h"
#include "TkSkin.h"

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

// The mouse entering and leaving a skinned control: it is drawn hot while
// the mouse is over it. True when the message was one of these.
bool TrackHot(HWND wnd, UINT msg, bool& hot) {
  if (msg == WM_MOUSEMOVE && !hot) {
    hot = true;
    TRACKMOUSEEVENT track = {sizeof track, TME_LEAVE, wnd, 0};
    ::TrackMouseEvent(&track);
    ::InvalidateRect(wnd, nullptr, FALSE);
    return true;
  }
  if (msg == WM_MOUSELEAVE) {
    hot = false;
    ::InvalidateRect(wnd, nullptr, FALSE);
    return true;
  }
  return false;
}

// The skin's state bits of an owner-drawn item.
unsigned SkinState(const DRAWITEMSTRUCT& item, bool hot) {
  unsigned state = hot ? static_cast<unsigned>(tkskin::stHot) : 0u;
  if (item.itemState & ODS_SELECTED) state |= tkskin::stPressed;
  if (item.itemState & ODS_DISABLED) state |= tkskin::stDisabled;
  // The focus shows once the keyboard has been used in the window, as the
  // system's own controls do it.
  if ((item.itemState & ODS_FOCUS) && !(item.itemState & ODS_NOFOCUSRECT)) state |= tkskin::stFocused;
  return state;
}

// Draws an owner-drawn item through a memory bitmap, so that nothing
// flickers while the state changes.
template <typename Painter>
void DrawBuffered(const DRAWITEMSTRUCT& item, Painter paint) {
  const RECT& r = item.rcItem;
  const int width = r.right - r.left, height = r.bottom - r.top;
  if (width <= 0 || height <= 0) return;
  tk::TMemoryDC memory(item.hDC);
  tk::TGdiObject bitmap(tk::CreateBufferBitmap(item.hDC, width, height));
  if (!memory.Get() || !bitmap) {
    paint(item.hDC, r);
    return;
  }
  tk::TSelection selection(memory.Get(), bitmap.Get());
  const RECT local = {0, 0, width, height};
  paint(memory.Get(), local);
  ::BitBlt(item.hDC, r.left, r.top, width, height, memory.Get(), 0, 0, SRCCOPY);
}

COLORREF ParentColor(TTkControl* control) {
  return control->Parent() ? control->Parent()->Color() : ::GetSysColor(COLOR_BTNFACE);
}

}  // namespace

// ---- push button

TTkButton::TTkButton(TTkControl* parent) : TTkControl(parent) {
  CreateHandle(L"BUTTON", BS_OWNERDRAW | WS_TABSTOP, 0, ParentHandle(parent));
  SetBounds(0, 0, 75, 25);
}

LRESULT TTkButton::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  TrackHot(Handle(), msg, FHot);
  // The system's button draws its own frame around the default button on
  // some versions; the skin marks it itself.
  if (msg == WM_ENABLE) ::InvalidateRect(Handle(), nullptr, FALSE);
  return TTkControl::WndProc(msg, wParam, lParam);
}

void TTkButton::PerformClick() { Click(); }

void TTkButton::Click() {
  TTkControl::Click();
  if (ModalResult != mrNone) {
    if (auto* form = dynamic_cast<TTkForm*>(TopLevel())) form->SetModalResult(ModalResult);
  }
}

bool TTkButton::Reflected(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  if (msg == WM_DRAWITEM) {
    const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
    unsigned state = SkinState(item, FHot);
    auto* form = dynamic_cast<TTkForm*>(TopLevel());
    if (form && form->DefaultButton() == this) state |= tkskin::stDefault;
    DrawBuffered(item, [&](HDC dc, const RECT& r) {
      tkskin::PaintButton(dc, r, Caption(), FontHandle(), state, ParentColor(this));
    });
    return true;
  }
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
  CreateHandle(L"BUTTON", BS_OWNERDRAW | WS_TABSTOP, 0, ParentHandle(parent));
  SetBounds(0, 0, 97, 17);
}

bool TTkCheckBox::Checked() const { return FChecked; }

void TTkCheckBox::SetChecked(bool checked) {
  if (FChecked == checked) return;
  FChecked = checked;
  Invalidate();
  if (FRadio && checked && Parent()) {
    for (TTkControl* sibling : Parent()->Controls()) {
      auto* other = dynamic_cast<TTkCheckBox*>(sibling);
      if (other && other != this && other->FRadio && other->FChecked) {
        other->FChecked = false;
        other->Invalidate();
      }
    }
  }
  if (!FRadio || checked) Click();
}

LRESULT TTkCheckBox::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  TrackHot(Handle(), msg, FHot);
  switch (msg) {
    case BM_GETCHECK:
      return FChecked ? BST_CHECKED : BST_UNCHECKED;
    case BM_SETCHECK:
      // As the system's check box: the state changes, no click follows.
      FChecked = wParam == BST_CHECKED;
      Invalidate();
      return 0;
    case WM_ENABLE:
      Invalidate();
      break;
    default:
      break;
  }
  return TTkControl::WndProc(msg, wParam, lParam);
}

bool TTkCheckBox::Reflected(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  if (msg == WM_DRAWITEM) {
    const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
    unsigned state = SkinState(item, FHot);
    if (FChecked) state |= tkskin::stChecked;
    DrawBuffered(item, [&](HDC dc, const RECT& r) {
      tkskin::PaintCheckBox(dc, r, Caption(), FontHandle(), TextColor(), state, ParentColor(this), FRadio);
    });
    return true;
  }
  if (msg != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) return false;
  // A click checks a radio button (a checked one stays so) and toggles a
  // check box.
  SetChecked(FRadio ? true : !FChecked);
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
  SetBounds(Left(), Top(), tkskin::CheckBoxSize + tkskin::CheckBoxGap + size.cx + tk::TextSlack(size.cx), Height());
}

TTkRadioButton::TTkRadioButton(TTkControl* parent) : TTkCheckBox(parent, true) {}

// ---- edit field

TTkEdit::TTkEdit(TTkControl* parent) : TTkControl(parent) {
  CreateHandle(L"EDIT", ES_AUTOHSCROLL | WS_TABSTOP | WS_BORDER, 0, ParentHandle(parent));
  SetBounds(0, 0, 121, 21);
  SetColor(::GetSysColor(COLOR_WINDOW));
}

WideString TTkEdit::Text() const { return Handle() ? WindowText(Handle()) : Caption(); }

void TTkEdit::SetText(const WideString& text) { SetCaption(text); }

LRESULT TTkEdit::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_SETFOCUS || msg == WM_KILLFOCUS || msg == WM_ENABLE) {
    const LRESULT result = TTkControl::WndProc(msg, wParam, lParam);
    ::RedrawWindow(Handle(), nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE);
    return result;
  }
  if (msg != WM_NCPAINT) return TTkControl::WndProc(msg, wParam, lParam);
  const LRESULT result = TTkControl::WndProc(msg, wParam, lParam);
  HDC dc = ::GetWindowDC(Handle());
  if (dc) {
    RECT r;
    ::GetWindowRect(Handle(), &r);
    ::OffsetRect(&r, -r.left, -r.top);
    const COLORREF color = !Enabled() ? RGB(214, 214, 214) : Focused() ? tkskin::Accent() : RGB(173, 173, 173);
    tk::TGdiObject brush(::CreateSolidBrush(color));
    if (brush) ::FrameRect(dc, &r, static_cast<HBRUSH>(brush.Get()));
    ::ReleaseDC(Handle(), dc);
  }
  return result;
}

// A disabled field keeps the system's grey.
HBRUSH TTkEdit::CtlColor(HDC dc) { return Enabled() ? TTkControl::CtlColor(dc) : nullptr; }

// ---- spin field

// The system's arrow buttons, beside the field they step.
class TTkSpinEdit::TArrows : public TTkControl {
public:
  TArrows(TTkControl* parent, TTkSpinEdit* field) : TTkControl(parent), FField(field) {
    CreateHandle(UPDOWN_CLASS, UDS_ARROWKEYS | UDS_NOTHOUSANDS, 0, ParentHandle(parent));
    ::SendMessageW(Handle(), UDM_SETRANGE32, static_cast<WPARAM>(INT_MIN), INT_MAX);
    SetTabStop(false);
  }

protected:
  bool Reflected(UINT msg, WPARAM, LPARAM lParam, LRESULT& result) override {
    const auto* header = reinterpret_cast<const NMHDR*>(lParam);
    if (msg != WM_NOTIFY || header->code != UDN_DELTAPOS) return false;
    const auto* delta = reinterpret_cast<const NMUPDOWN*>(lParam);
    FField->SetValue(static_cast<int>(std::clamp<long long>(
        static_cast<long long>(FField->Value()) + delta->iDelta, INT_MIN, INT_MAX)));
    result = 1;  // the field holds the value, not the arrows
    return true;
  }

private:
  TTkSpinEdit* FField;
};

TTkSpinEdit::TTkSpinEdit(TTkControl* parent) : TTkEdit(parent) {
  FArrows = new TArrows(parent, this);
  SetBounds(Left(), Top(), Width(), Height());
}

int TTkSpinEdit::Value() const {
  const std::string text = WideToUtf8(Trim(Text()));
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (text.empty() || end == text.c_str()) return 0;
  return static_cast<int>(std::clamp(std::llround(value), static_cast<long long>(INT_MIN), static_cast<long long>(INT_MAX)));
}

void TTkSpinEdit::SetValue(int value) { SetText(IntToStr(value)); }

// The arrows take the right end of the given area.
void TTkSpinEdit::SetBounds(int left, int top, int width, int height) {
  const int arrows = std::min(17, std::max(width / 2, 0));
  TTkEdit::SetBounds(left, top, width - arrows, height);
  if (FArrows) FArrows->SetBounds(left + width - arrows, top, arrows, height);
}

void TTkSpinEdit::SetVisible(bool visible) {
  TTkEdit::SetVisible(visible);
  if (FArrows) FArrows->SetVisible(visible);
}

LRESULT TTkSpinEdit::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_KEYDOWN && (wParam == VK_UP || wParam == VK_DOWN)) {
    const long long step = wParam == VK_UP ? 1 : -1;
    SetValue(static_cast<int>(std::clamp<long long>(Value() + step, INT_MIN, INT_MAX)));
    return 0;
  }
  if (msg == WM_ENABLE && FArrows) FArrows->SetEnabled(wParam != FALSE);
  return TTkEdit::WndProc(msg, wParam, lParam);
}

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
  NoteShownText(text);
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
