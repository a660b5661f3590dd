// The window base: creation and subclassing, the one window procedure of
// the toolkit, double-buffered painting, reflection of notifications to
// the controls they come from, alignment and the tab order.
#include "TkControl.h"

#include <windowsx.h>

#include <algorithm>
#include <string>

#include "QvExceptions.h"
#include "QvSysUtils.h"
#include "TkApplication.h"
#include "TkGdi.h"

using tk::W;

namespace tk {
const wchar_t* const ControlClassName = L"TkControl";
const wchar_t* const FormClassName = L"TkForm";
namespace {
bool gHeadless = false;
}  // namespace
void SetHeadless(bool headless) { gHeadless = headless; }
bool Headless() { return gHeadless; }
}  // namespace tk

namespace {

// The window property that leads from a window to its control object. A
// property, not GWLP_USERDATA, because subclassed system controls may use
// their user data themselves.
const wchar_t* const ObjectProperty = L"TkControl.Object";

// The first icon group of the program, for the caption and the taskbar
// button of its forms.
struct TIconName {
  WORD Id = 0;
  std::wstring Name;
  bool Found = false;
};

BOOL CALLBACK FirstIconGroup(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR param) {
  auto* icon = reinterpret_cast<TIconName*>(param);
  if (IS_INTRESOURCE(name))
    icon->Id = static_cast<WORD>(reinterpret_cast<ULONG_PTR>(name));
  else
    icon->Name = name;
  icon->Found = true;
  return FALSE;
}

// An error has escaped a handler inside a window procedure: it goes to the
// application, and whatever happens there must not leave this frame either.
void ReportUnhandled(const Exception& error) {
  try {
    Application().HandleException(error);
  } catch (...) {
  }
}

void ReportUnhandled(const std::exception& error) {
  try {
    Application().HandleException(error);
  } catch (...) {
  }
}

class TPaintScope {
public:
  explicit TPaintScope(HWND wnd) : FWnd(wnd), FDC(::BeginPaint(wnd, &FPaint)) {}
  ~TPaintScope() { ::EndPaint(FWnd, &FPaint); }
  TPaintScope(const TPaintScope&) = delete;
  TPaintScope& operator=(const TPaintScope&) = delete;
  HDC DC() const { return FDC; }

private:
  HWND FWnd;
  PAINTSTRUCT FPaint = {};
  HDC FDC;
};

}  // namespace

HCURSOR TkCursorHandle(TCursor cursor) {
  LPCWSTR id = IDC_ARROW;
  switch (cursor) {
    case crHourGlass: id = IDC_WAIT; break;
    case crHandPoint: id = IDC_HAND; break;
    default: break;
  }
  return ::LoadCursorW(nullptr, id);
}

// ---- life

TTkControl::TTkControl(TTkControl* parent) : FParent(parent), FVisible(parent != nullptr) {
  if (parent) {
    // Like the parent's font, so that a form's font reaches the controls
    // created on it.
    FFont = parent->FFont;
    parent->FChildren.push_back(this);
    parent->FTabList.push_back(this);
  }
}

TTkControl::~TTkControl() {
  while (!FChildren.empty()) delete FChildren.back();  // each child unlinks itself
  if (FNameAtom) ::GlobalDeleteAtom(FNameAtom);
  if (FHandle) {
    const HWND wnd = FHandle;
    // Messages of the destruction find no object any more and take the
    // default path: the derived parts of this object are gone already.
    ::RemovePropW(wnd, ObjectProperty);
    if (FSystemProc) ::SetWindowLongPtrW(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FSystemProc));
    FHandle = nullptr;
    ::DestroyWindow(wnd);
  }
  if (FParent) {
    auto& children = FParent->FChildren;
    children.erase(std::remove(children.begin(), children.end(), this), children.end());
    auto& tabs = FParent->FTabList;
    tabs.erase(std::remove(tabs.begin(), tabs.end(), this), tabs.end());
  }
  if (FFontHandle) ::DeleteObject(FFontHandle);
  if (FBrush) ::DeleteObject(FBrush);
}

void TTkControl::RegisterWindowClass(const wchar_t* name, bool form) {
  const HINSTANCE instance = ::GetModuleHandleW(nullptr);
  WNDCLASSEXW existing = {};
  existing.cbSize = sizeof existing;
  if (::GetClassInfoExW(instance, name, &existing)) return;

  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof wc;
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = StaticWndProc;
  wc.hInstance = instance;
  wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = name;
  if (form) {
    TIconName icon;
    ::EnumResourceNamesW(instance, RT_GROUP_ICON, FirstIconGroup, reinterpret_cast<LONG_PTR>(&icon));
    if (icon.Found) {
      const wchar_t* id = icon.Name.empty() ? MAKEINTRESOURCEW(icon.Id) : icon.Name.c_str();
      wc.hIcon = static_cast<HICON>(::LoadImageW(instance, id, IMAGE_ICON, ::GetSystemMetrics(SM_CXICON),
                                                 ::GetSystemMetrics(SM_CYICON), LR_SHARED));
      wc.hIconSm = static_cast<HICON>(::LoadImageW(instance, id, IMAGE_ICON, ::GetSystemMetrics(SM_CXSMICON),
                                                   ::GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    }
  }
  if (!::RegisterClassExW(&wc) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
    throw EOSError(u"Cannot register the window class: " + SysErrorMessage(GetLastOSError()));
}

void TTkControl::CreateHandle(const wchar_t* className, DWORD style, DWORD exStyle, HWND parentWnd) {
  // Windowless, the control keeps its state in the object alone.
  if (tk::Headless()) return;
  if (!className) {
    RegisterWindowClass(tk::ControlClassName, false);
    className = tk::ControlClassName;
  }
  const HINSTANCE instance = ::GetModuleHandleW(nullptr);
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof wc;
  FCustom = ::GetClassInfoExW(instance, className, &wc) && wc.lpfnWndProc == StaticWndProc;
  if (FParent) style |= WS_CHILD | WS_CLIPSIBLINGS;
  if (FVisible && FParent)
    style |= WS_VISIBLE;
  else
    style &= ~static_cast<DWORD>(WS_VISIBLE);

  // The toolkit's own windows learn their object in WM_NCCREATE, before
  // the first message that needs it.
  const HWND wnd = ::CreateWindowExW(exStyle, className, W(FCaption), style, FLeft, FTop, FWidth, FHeight,
                                     parentWnd, nullptr, instance, FCustom ? this : nullptr);
  if (!wnd) throw EOSError(u"Cannot create a window: " + SysErrorMessage(GetLastOSError()));
  if (!FCustom) {
    FHandle = wnd;
    ::SetPropW(wnd, ObjectProperty, this);
    FSystemProc = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TTkControl::StaticWndProc)));
  }
  ApplyFont();
  // A control created later lies above the earlier ones, so that it paints
  // over them and gets their mouse clicks where they overlap; the tab order
  // is kept apart from the stacking.
  if (FParent) ::SetWindowPos(wnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

TTkControl* TTkControl::FromHandle(HWND wnd) {
  if (!wnd) return nullptr;
  return static_cast<TTkControl*>(::GetPropW(wnd, ObjectProperty));
}

TTkControl* TTkControl::TopLevel() {
  TTkControl* control = this;
  while (control->FParent) control = control->FParent;
  return control;
}

void TTkControl::Detach() {
  if (!FHandle) return;
  ::RemovePropW(FHandle, ObjectProperty);
  FHandle = nullptr;
}

// ---- the window procedure

LRESULT CALLBACK TTkControl::StaticWndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  TTkControl* control = FromHandle(wnd);
  if (!control && msg == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    control = static_cast<TTkControl*>(create->lpCreateParams);
    if (control) {
      control->FHandle = wnd;
      ::SetPropW(wnd, ObjectProperty, control);
    }
  }
  if (!control) return ::DefWindowProcW(wnd, msg, wParam, lParam);
  // An exception cannot unwind through the system's frames that called
  // this procedure: every one ends here and the message counts as handled.
  try {
    return control->Dispatch(msg, wParam, lParam);
  } catch (const Exception& error) {
    ReportUnhandled(error);
  } catch (const std::exception& error) {
    ReportUnhandled(error);
  } catch (...) {
    ReportUnhandled(Exception(u"An unknown error occurred"));
  }
  return 0;
}

// Another process (a test driver, an accessibility tool) may ask a control
// for its name: the answer is a global atom holding it, which the control
// keeps until it goes.
UINT TTkControl::NameQueryMessage() {
  static const UINT message = ::RegisterWindowMessageW(L"TkControl.Name");
  return message;
}

LRESULT TTkControl::Dispatch(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == NameQueryMessage() && msg != 0) {
    if (!FNameAtom && !Name.empty() && Name.size() < 255) FNameAtom = ::GlobalAddAtomW(W(Name));
    return FNameAtom;
  }
  if (msg == WM_NCDESTROY) {
    // The system destroys the window without us (its owner or parent
    // went): the object stays, without a window.
    const LRESULT result = DefaultProc(msg, wParam, lParam);
    Detach();
    return result;
  }
  return WndProc(msg, wParam, lParam);
}

LRESULT TTkControl::DefaultProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (FSystemProc) return ::CallWindowProcW(FSystemProc, FHandle, msg, wParam, lParam);
  return ::DefWindowProcW(FHandle, msg, wParam, lParam);
}

LRESULT TTkControl::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_PAINT:
      if (FCustom) {
        PaintWindow();
        return 0;
      }
      break;
    case WM_PRINTCLIENT:
      // Themed children ask for their parent's background this way.
      if (FCustom) {
        PaintInto(reinterpret_cast<HDC>(wParam));
        return 0;
      }
      break;
    case WM_ERASEBKGND:
      if (FCustom) return 1;  // Paint covers every pixel
      break;
    case WM_COMMAND:
      if (lParam) {
        TTkControl* source = FromHandle(reinterpret_cast<HWND>(lParam));
        LRESULT result = 0;
        if (source && source != this && source->Reflected(msg, wParam, lParam, result)) return result;
      }
      break;
    case WM_DRAWITEM: {
      // Owner-drawn buttons and check boxes draw themselves (the skin).
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      TTkControl* source = item ? FromHandle(item->hwndItem) : nullptr;
      LRESULT result = 0;
      if (source && source != this && source->Reflected(msg, wParam, lParam, result)) return TRUE;
      break;
    }
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lParam);
      TTkControl* source = header ? FromHandle(header->hwndFrom) : nullptr;
      LRESULT result = 0;
      if (source && source != this && source->Reflected(msg, wParam, lParam, result)) return result;
      break;
    }
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORLISTBOX: {
      TTkControl* source = FromHandle(reinterpret_cast<HWND>(lParam));
      if (source && source != this) {
        if (HBRUSH brush = source->CtlColor(reinterpret_cast<HDC>(wParam))) return reinterpret_cast<LRESULT>(brush);
      }
      break;
    }
    case WM_SETCURSOR: {
      const TCursor screen = Application().ScreenCursor();
      if (screen != crDefault) {
        ::SetCursor(TkCursorHandle(screen));
        return TRUE;
      }
      if (reinterpret_cast<HWND>(wParam) == FHandle && LOWORD(lParam) == HTCLIENT && FCursor != crDefault) {
        ::SetCursor(TkCursorHandle(FCursor));
        return TRUE;
      }
      break;
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      MouseDown(0, lParam);
      if (FCustom) return 0;
      break;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
      MouseDown(1, lParam);
      break;
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK:
      MouseDown(2, lParam);
      break;
    case WM_LBUTTONUP:
      if (FCustom) {
        const bool pressed = FPressed && ::GetCapture() == FHandle;
        FPressed = false;
        if (::GetCapture() == FHandle) ::ReleaseCapture();
        RECT client;
        ::GetClientRect(FHandle, &client);
        const POINT at = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        if (pressed && ::PtInRect(&client, at)) Click();
        return 0;
      }
      break;
    case WM_CAPTURECHANGED:
      FPressed = false;
      break;
    case WM_WINDOWPOSCHANGED:
      SyncBounds();
      break;
    case WM_SIZE:
      AlignControls();
      break;
    default:
      break;
  }
  return DefaultProc(msg, wParam, lParam);
}

void TTkControl::MouseDown(int button, LPARAM lParam) {
  // Custom controls take the capture so that a release outside is no
  // click; a handler that starts moving the window releases it again.
  if (FCustom && button == 0) {
    ::SetCapture(FHandle);
    FPressed = true;
  }
  if (OnMouseDown) OnMouseDown(button, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
}

void TTkControl::Click() {
  if (OnClick) OnClick();
}

bool TTkControl::Reflected(UINT, WPARAM, LPARAM, LRESULT&) { return false; }

HBRUSH TTkControl::CtlColor(HDC dc) {
  ::SetTextColor(dc, TextColor());
  ::SetBkColor(dc, Color());
  return BackgroundBrush();
}

// ---- painting

void TTkControl::PaintWindow() {
  TPaintScope paint(FHandle);
  if (paint.DC()) PaintInto(paint.DC());
}

void TTkControl::PaintInto(HDC dc) {
  RECT client;
  if (!::GetClientRect(FHandle, &client) || client.right <= 0 || client.bottom <= 0) return;
  if (FDoubleBuffered) {
    tk::TMemoryDC memory(dc);
    tk::TGdiObject bitmap(tk::CreateBufferBitmap(dc, client.right, client.bottom));
    if (memory.Get() && bitmap) {
      tk::TSelection selection(memory.Get(), bitmap.Get());
      Paint(memory.Get(), client);
      ::BitBlt(dc, 0, 0, client.right, client.bottom, memory.Get(), 0, 0, SRCCOPY);
      return;
    }
  }
  Paint(dc, client);
}

void TTkControl::Paint(HDC dc, const RECT& client) { ::FillRect(dc, &client, BackgroundBrush()); }

void TTkControl::Invalidate() {
  if (FHandle) ::InvalidateRect(FHandle, nullptr, TRUE);
}

void TTkControl::Repaint() {
  if (FHandle) ::RedrawWindow(FHandle, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

// ---- bounds and alignment

void TTkControl::SetBounds(int left, int top, int width, int height) {
  ApplyBounds(left, top, width, height);
  if (FParent && FAlign != TAlign::alNone) FParent->AlignControls();
}

void TTkControl::ApplyBounds(int left, int top, int width, int height) {
  FLeft = left;
  FTop = top;
  FWidth = std::max(width, 0);
  FHeight = std::max(height, 0);
  if (FHandle) ::SetWindowPos(FHandle, nullptr, FLeft, FTop, FWidth, FHeight, SWP_NOZORDER | SWP_NOACTIVATE);
}

// The window may end up elsewhere than asked (a combo box keeps its own
// height, the user drags a form): the bounds follow the window.
void TTkControl::SyncBounds() {
  if (!FHandle || ::IsIconic(FHandle)) return;
  RECT r;
  if (!::GetWindowRect(FHandle, &r)) return;
  if (::GetWindowLongW(FHandle, GWL_STYLE) & WS_CHILD)
    ::MapWindowPoints(HWND_DESKTOP, ::GetParent(FHandle), reinterpret_cast<POINT*>(&r), 2);
  FLeft = r.left;
  FTop = r.top;
  FWidth = r.right - r.left;
  FHeight = r.bottom - r.top;
}

int TTkControl::ClientWidth() const {
  RECT r;
  if (FHandle && ::GetClientRect(FHandle, &r)) return r.right;
  return FWidth;
}

int TTkControl::ClientHeight() const {
  RECT r;
  if (FHandle && ::GetClientRect(FHandle, &r)) return r.bottom;
  return FHeight;
}

void TTkControl::SetAlign(TAlign align) {
  FAlign = align;
  if (FParent) FParent->AlignControls();
}

void TTkControl::SetBorderWidth(int pixels) {
  FBorderWidth = std::max(pixels, 0);
  AlignControls();
}

// Top-aligned controls first, then bottom-aligned ones, each group in
// creation order; a client-aligned control takes what remains. Hidden
// controls take no room.
void TTkControl::AlignControls() {
  if (!FHandle) return;
  RECT r;
  ::GetClientRect(FHandle, &r);
  ::InflateRect(&r, -FBorderWidth, -FBorderWidth);
  for (TAlign pass : {TAlign::alTop, TAlign::alBottom, TAlign::alClient}) {
    for (TTkControl* c : FChildren) {
      if (c->FAlign != pass || !c->FVisible) continue;
      const int width = std::max<int>(r.right - r.left, 0);
      switch (pass) {
        case TAlign::alTop:
          c->ApplyBounds(r.left, r.top, width, c->FHeight);
          r.top += c->FHeight;
          break;
        case TAlign::alBottom:
          c->ApplyBounds(r.left, r.bottom - c->FHeight, width, c->FHeight);
          r.bottom -= c->FHeight;
          break;
        default:
          c->ApplyBounds(r.left, r.top, width, std::max<int>(r.bottom - r.top, 0));
          break;
      }
    }
  }
}

// ---- state

void TTkControl::SetVisible(bool visible) {
  FVisible = visible;
  if (FHandle) {
    if (!visible) {
      // The focus must not stay in a hidden window, where keys would go
      // nowhere: the form takes it, and Enter and Esc still work there.
      const HWND focus = ::GetFocus();
      TTkControl* top = TopLevel();
      if (focus && top != this && top->FHandle && (focus == FHandle || ::IsChild(FHandle, focus)))
        ::SetFocus(top->FHandle);
    }
    ::ShowWindow(FHandle, visible ? (FParent ? SW_SHOWNA : SW_SHOW) : SW_HIDE);
  }
  if (FParent && FAlign != TAlign::alNone) FParent->AlignControls();
}

bool TTkControl::Enabled() const { return !FHandle || ::IsWindowEnabled(FHandle); }

void TTkControl::SetEnabled(bool enabled) {
  if (!FHandle) return;
  ::EnableWindow(FHandle, enabled);
  if (FCustom) Invalidate();
}

void TTkControl::SetCaption(const WideString& caption) {
  FCaption = caption;
  NoteShownText(caption);
  if (FHandle) ::SetWindowTextW(FHandle, W(caption));
  if (FCustom) Invalidate();
}

// Text the control shows that its face may lack (the caption, a list's
// items): the font changes to a face that has the glyphs when needed.
void TTkControl::NoteShownText(const WideString& text) {
  if (tk::FontShows(FFontHandle, text)) return;
  FShownText += text;
  ApplyFont();
}

void TTkControl::SetFont(const TTkFont& font) {
  FFont = font;
  ApplyFont();
  Invalidate();
}

void TTkControl::ApplyFont() {
  const HFONT font = tk::CreateFontShowing(FFont, FShownText);
  if (!font) return;  // the old font stays
  if (FHandle) ::SendMessageW(FHandle, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  if (FFontHandle) ::DeleteObject(FFontHandle);
  FFontHandle = font;
}

COLORREF TTkControl::Color() const {
  if (FColor != CLR_DEFAULT) return FColor;
  return FParent ? FParent->Color() : ::GetSysColor(COLOR_BTNFACE);
}

void TTkControl::SetColor(COLORREF color) {
  FColor = color;
  // Children that inherit the colour paint anew too.
  if (FHandle) ::RedrawWindow(FHandle, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

COLORREF TTkControl::TextColor() const {
  return FFont.Color == CLR_DEFAULT ? ::GetSysColor(COLOR_WINDOWTEXT) : FFont.Color;
}

HBRUSH TTkControl::BackgroundBrush() {
  const COLORREF color = Color();
  if (!FBrush || FBrushColor != color) {
    const HBRUSH brush = ::CreateSolidBrush(color);
    if (!brush) return static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
    if (FBrush) ::DeleteObject(FBrush);
    FBrush = brush;
    FBrushColor = color;
  }
  return FBrush;
}

// ---- keyboard focus and tab order

void TTkControl::SetTabOrder(int order) {
  if (!FParent) return;
  auto& tabs = FParent->FTabList;
  tabs.erase(std::remove(tabs.begin(), tabs.end(), this), tabs.end());
  const int at = std::clamp(order, 0, static_cast<int>(tabs.size()));
  tabs.insert(tabs.begin() + at, this);
}

void TTkControl::SetTabStop(bool stop) {
  if (!FHandle) return;
  LONG_PTR style = ::GetWindowLongPtrW(FHandle, GWL_STYLE);
  style = stop ? (style | WS_TABSTOP) : (style & ~static_cast<LONG_PTR>(WS_TABSTOP));
  ::SetWindowLongPtrW(FHandle, GWL_STYLE, style);
}

void TTkControl::CollectTabStops(const TTkControl* root, std::vector<TTkControl*>& out) {
  for (TTkControl* c : root->FTabList) {
    if (!c->FHandle || !::IsWindowVisible(c->FHandle) || !::IsWindowEnabled(c->FHandle)) continue;
    if (::GetWindowLongW(c->FHandle, GWL_STYLE) & WS_TABSTOP) out.push_back(c);
    CollectTabStops(c, out);
  }
}

void TTkControl::SetFocus() {
  if (FHandle) ::SetFocus(FHandle);
}

bool TTkControl::Focused() const { return FHandle && ::GetFocus() == FHandle; }
