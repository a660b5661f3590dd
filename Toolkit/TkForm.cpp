// Top-level windows: frame styles, centring, closing, the standard modal
// loop and the keyboard handling that dialogs need (Tab, Enter, Esc).
#include "TkForm.h"

#include <cstdlib>
#include <vector>

#include "QvExceptions.h"
#include "QvVclUtils.h"
#include "TkApplication.h"
#include "TkControls.h"
#include "TkGdi.h"

namespace {

// How far from a work-area edge a moved window jumps onto it.
const int SnapDistance = 10;

DWORD StyleFor(TBorderStyle border, bool minimizeBox, bool maximizeBox) {
  switch (border) {
    case TBorderStyle::bsNone:
      // The system menu and minimise box give the taskbar button its
      // minimise and restore; nothing of them is drawn.
      return WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
    case TBorderStyle::bsDialog:
      return WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | WS_CLIPCHILDREN;
    default:
      return WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | (minimizeBox ? WS_MINIMIZEBOX : 0) |
             (maximizeBox ? WS_MAXIMIZEBOX : 0) | WS_CLIPCHILDREN;
  }
}

DWORD ExStyleFor(TBorderStyle border) {
  switch (border) {
    case TBorderStyle::bsNone: return WS_EX_CONTROLPARENT;
    case TBorderStyle::bsDialog: return WS_EX_CONTROLPARENT | WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE;
    default: return WS_EX_CONTROLPARENT | WS_EX_WINDOWEDGE;
  }
}

RECT WorkArea() {
  RECT area = {0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  return area;
}

unsigned ShiftState(const MSG& msg) {
  unsigned shift = 0;
  if (::GetKeyState(VK_SHIFT) < 0) shift |= ssShift;
  if (::GetKeyState(VK_CONTROL) < 0) shift |= ssCtrl;
  // Bit 29 of a system key message: Alt is held.
  if (::GetKeyState(VK_MENU) < 0 || (msg.message == WM_SYSKEYDOWN && (msg.lParam & (1 << 29)))) shift |= ssAlt;
  return shift;
}

bool Usable(HWND wnd) { return wnd && ::IsWindowVisible(wnd) && ::IsWindowEnabled(wnd); }

struct TDisabledWindows {
  HWND Except;
  std::vector<HWND> Windows;
};

BOOL CALLBACK DisableWindow(HWND wnd, LPARAM param) {
  auto* disabled = reinterpret_cast<TDisabledWindows*>(param);
  if (wnd != disabled->Except && ::IsWindowVisible(wnd) && ::IsWindowEnabled(wnd)) {
    ::EnableWindow(wnd, FALSE);
    disabled->Windows.push_back(wnd);
  }
  return TRUE;
}

}  // namespace

TTkForm::TTkForm(TTkForm* owner) : TTkForm(owner, tk::FormClassName) {}

TTkForm::TTkForm(TTkForm* owner, const wchar_t* windowClass) : TTkControl(nullptr), FOwner(owner) {
  RegisterWindowClass(windowClass, true);
  SetBounds(0, 0, 320, 240);
  CreateHandle(windowClass, StyleFor(FBorderStyle, FMinimizeBox, FMaximizeBox), ExStyleFor(FBorderStyle),
               owner ? owner->Handle() : nullptr);
}

TTkForm::~TTkForm() {
  if (Application().MainForm() == this) Application().SetMainForm(nullptr);
}

// ---- frame and size

void TTkForm::SetBorderStyle(TBorderStyle style) {
  FBorderStyle = style;
  ApplyStyle();
}

void TTkForm::SetBorderIcons(bool minimize, bool maximize) {
  FMinimizeBox = minimize;
  FMaximizeBox = maximize;
  ApplyStyle();
}

// A new frame keeps the client area's size.
void TTkForm::ApplyStyle() {
  if (!Handle()) return;
  RECT client;
  ::GetClientRect(Handle(), &client);
  const LONG_PTR kept = ::GetWindowLongPtrW(Handle(), GWL_STYLE) & (WS_VISIBLE | WS_DISABLED | WS_MINIMIZE | WS_MAXIMIZE);
  ::SetWindowLongPtrW(Handle(), GWL_STYLE, StyleFor(FBorderStyle, FMinimizeBox, FMaximizeBox) | kept);
  ::SetWindowLongPtrW(Handle(), GWL_EXSTYLE, ExStyleFor(FBorderStyle));
  ::SetWindowPos(Handle(), nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  SetClientSize(client.right, client.bottom);
}

void TTkForm::SetClientSize(int width, int height) {
  RECT r = {0, 0, width, height};
  if (Handle()) {
    ::AdjustWindowRectEx(&r, static_cast<DWORD>(::GetWindowLongPtrW(Handle(), GWL_STYLE)), FALSE,
                         static_cast<DWORD>(::GetWindowLongPtrW(Handle(), GWL_EXSTYLE)));
  }
  SetBounds(Left(), Top(), r.right - r.left, r.bottom - r.top);
}

void TTkForm::SetCaption(const WideString& caption) { TTkControl::SetCaption(caption); }

void TTkForm::CenterOnWorkArea() {
  const RECT area = WorkArea();
  SetBounds(area.left + (area.right - area.left - Width()) / 2, area.top + (area.bottom - area.top - Height()) / 2,
            Width(), Height());
}

void TTkForm::SnapToWorkArea(RECT& r) const {
  const RECT area = WorkArea();
  if (std::abs(r.left - area.left) < SnapDistance)
    ::OffsetRect(&r, area.left - r.left, 0);
  else if (std::abs(r.right - area.right) < SnapDistance)
    ::OffsetRect(&r, area.right - r.right, 0);
  if (std::abs(r.top - area.top) < SnapDistance)
    ::OffsetRect(&r, 0, area.top - r.top);
  else if (std::abs(r.bottom - area.bottom) < SnapDistance)
    ::OffsetRect(&r, 0, area.bottom - r.bottom);
}

// ---- showing and closing

void TTkForm::SetVisible(bool visible) {
  if (!visible) {
    TTkControl::SetVisible(false);
    return;
  }
  const bool wasVisible = Visible();
  if (!FShownOnce) {
    FShownOnce = true;
    CenterOnWorkArea();
  }
  TTkControl::SetVisible(true);
  if (Handle()) ::SetForegroundWindow(Handle());
  if (!wasVisible && OnShow) OnShow();
}

void TTkForm::Close() {
  // A modal form's loop asks the close query itself (CloseModal).
  if (FModal) {
    FModalResult = mrCancel;
    return;
  }
  bool allow = true;
  if (OnCloseQuery) OnCloseQuery(allow);
  if (!allow) return;
  if (OnClose) OnClose();
  if (Application().MainForm() == this)
    Application().Terminate();
  else
    Hide();
}

void TTkForm::CloseModal() {
  try {
    bool allow = true;
    if (OnCloseQuery) OnCloseQuery(allow);
    if (!allow) {
      FModalResult = mrNone;
      return;
    }
    if (OnClose) OnClose();
  } catch (const Exception& error) {
    FModalResult = mrNone;
    Application().HandleException(error);
  } catch (const std::exception& error) {
    FModalResult = mrNone;
    Application().HandleException(error);
  }
}

int TTkForm::ShowModal() {
  if (FOwner) return TQvVclfn::ShowModalOwned(this, FOwner);

  if (Visible() || !Enabled() || FModal) throw Exception(u"Cannot make a visible window modal");
  if (HWND capture = ::GetCapture()) ::SendMessageW(capture, WM_CANCELMODE, 0, 0);
  ::ReleaseCapture();
  Application().ModalStarted();
  FModal = true;
  struct TRestore {
    TTkForm* Form;
    HWND Active = ::GetActiveWindow();
    TCursor Cursor = Application().ScreenCursor();
    TDisabledWindows Disabled{nullptr, {}};
    ~TRestore() {
      Application().SetScreenCursor(Cursor);
      for (HWND wnd : Disabled.Windows)
        if (::IsWindow(wnd)) ::EnableWindow(wnd, TRUE);
      if (Active && ::IsWindow(Active)) ::SetActiveWindow(Active);
      Form->FModal = false;
      Application().ModalFinished();
    }
  } restore{this};
  Application().SetScreenCursor(crDefault);
  // Every other window of the thread waits for this one.
  restore.Disabled.Except = Handle();
  ::EnumThreadWindows(::GetCurrentThreadId(), DisableWindow, reinterpret_cast<LPARAM>(&restore.Disabled));

  Show();
  FModalResult = mrNone;
  do {
    Application().HandleMessage();
    if (Application().Terminated())
      FModalResult = mrCancel;
    else if (FModalResult != mrNone)
      CloseModal();
  } while (FModalResult == mrNone);
  if (::GetActiveWindow() != Handle()) restore.Active = nullptr;
  Hide();
  return FModalResult;
}

// ---- keyboard

bool TTkForm::KeyDown(WORD&, unsigned) { return false; }

bool TTkForm::PreProcessMessage(const MSG& msg) {
  if (msg.message != WM_KEYDOWN && msg.message != WM_SYSKEYDOWN) return false;
  if (!Handle() || !::IsWindowEnabled(Handle())) return false;
  WORD key = static_cast<WORD>(msg.wParam);
  const unsigned shift = ShiftState(msg);
  if (KeyDown(key, shift) || key == 0) return true;
  if (shift & (ssAlt | ssCtrl)) return false;  // Alt+F4 and the like are the system's

  TTkControl* focused = FromHandle(::GetFocus());
  if (focused && focused->TopLevel() != this) focused = nullptr;
  switch (key) {
    case VK_TAB:
      SelectNext((shift & ssShift) == 0);
      return true;
    case VK_RETURN:
    case VK_ESCAPE: {
      // An open drop-down list takes Enter and Esc itself.
      if (auto* combo = dynamic_cast<TTkComboBox*>(focused)) {
        if (::SendMessageW(combo->Handle(), CB_GETDROPPEDSTATE, 0, 0)) return false;
      }
      TTkButton* button = FCancelButton;
      if (key == VK_RETURN) {
        button = dynamic_cast<TTkButton*>(focused);
        if (!button) button = FDefaultButton;
      }
      if (!button || !Usable(button->Handle())) return false;
      button->PerformClick();
      return true;
    }
    default:
      return false;
  }
}

void TTkForm::SelectNext(bool forward) {
  std::vector<TTkControl*> stops;
  CollectTabStops(this, stops);
  if (stops.empty()) return;
  const int count = static_cast<int>(stops.size());
  const HWND focus = ::GetFocus();
  int current = -1;
  for (int i = 0; i < count; ++i) {
    if (focus && (stops[i]->Handle() == focus || ::IsChild(stops[i]->Handle(), focus))) current = i;
  }
  int next;
  if (current < 0)
    next = forward ? 0 : count - 1;
  else
    next = (current + (forward ? 1 : count - 1)) % count;
  TTkControl* target = stops[static_cast<size_t>(next)];
  target->SetFocus();
  // As in dialogs, a field reached by Tab has its text selected.
  if (dynamic_cast<TTkEdit*>(target)) ::SendMessageW(target->Handle(), EM_SETSEL, 0, -1);
}

void TTkForm::FocusFirstControl() {
  std::vector<TTkControl*> stops;
  CollectTabStops(this, stops);
  if (!stops.empty())
    stops.front()->SetFocus();
  else
    ::SetFocus(Handle());
}

// ---- messages

LRESULT TTkForm::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_CLOSE:
      // The close box and Alt+F4: a modal form ends its loop with Cancel.
      if (FModal)
        FModalResult = mrCancel;
      else
        Close();
      return 0;
    case WM_ACTIVATE:
      // The focus comes back to the control that had it, else to the
      // first tab stop.
      if (LOWORD(wParam) == WA_INACTIVE) {
        const HWND focus = ::GetFocus();
        if (focus && ::IsChild(Handle(), focus)) FActiveControl = focus;
        return 0;
      }
      if (HIWORD(wParam)) break;  // minimised
      if (Usable(FActiveControl) && ::IsChild(Handle(), FActiveControl))
        ::SetFocus(FActiveControl);
      else
        FocusFirstControl();
      return 0;
    case WM_MOVING:
      if (FScreenSnap) {
        SnapToWorkArea(*reinterpret_cast<RECT*>(lParam));
        return TRUE;
      }
      break;
    default:
      break;
  }
  return TTkControl::WndProc(msg, wParam, lParam);
}
