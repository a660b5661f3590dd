// Window-level utilities on the toolkit: the one message box, the folder
// browser, the owned modal loop, the painting aids of the base form and the
// waiting-window hook.
#include "QvVclUtils.h"

#include <ole2.h>
#include <shlobj.h>

#include "QvExceptions.h"
#include "QvRunLog.h"
#include "QvSysUtils.h"
#include "QvWinApi.h"
#include "TkApplication.h"
#include "TkForm.h"

namespace {


bool GConsoleReports = false;

// The waiting window of this process, found by its class name alone.
HWND FindWaitingForm() {
  const DWORD self = ::GetCurrentProcessId();
  HWND wnd = nullptr;
  while ((wnd = ::FindWindowExW(nullptr, wnd, L"TWaitingForm", nullptr)) != nullptr) {
    DWORD process = 0;
    ::GetWindowThreadProcessId(wnd, &process);
    if (process == self) return wnd;
  }
  return nullptr;
}

// Preselects the start folder once the browser is up.
int CALLBACK BrowseCallback(HWND wnd, UINT msg, LPARAM, LPARAM data) {
  if (msg == BFFM_INITIALIZED && data) ::SendMessageW(wnd, BFFM_SETSELECTIONW, TRUE, data);
  return 0;
}

}  // namespace

// ---- message box

void TQvVclfn::SetConsoleReports(bool on) { GConsoleReports = on; }

bool TQvVclfn::ConsoleReports() { return GConsoleReports; }

void TQvVclfn::ShowInfo(HWND owner, const WideString& text) {
  TQvRunLog::Line(u"Message: %s", {text});
  if (GConsoleReports) {
    // A silent run shows no window at all; whoever started it from a
    // console reads the text there, in the console's code page.
    const RawByteString line = WideToAnsi(text) + "\r\n";
    const HANDLE error = ::GetStdHandle(STD_ERROR_HANDLE);
    DWORD written = 0;
    if (error && error != INVALID_HANDLE_VALUE)
      ::WriteFile(error, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    return;
  }
  TTkApplication& app = Application();
  struct TRestore {
    TTkApplication& App;
    TCursor Cursor;
    bool Started = false;
    ~TRestore() {
      if (Started) App.ModalFinished();
      App.SetScreenCursor(Cursor);
      TQvVclfn::ShowWaitingForm();
    }
  } restore{app, app.ScreenCursor()};
  // The window's own arrow over the box, whatever the work in progress
  // shows elsewhere.
  app.SetScreenCursor(crDefault);
  HideWaitingForm();
  app.ModalStarted();
  restore.Started = true;
  ::MessageBoxW(owner, W(text), W(app.Title()), MB_OK | MB_ICONINFORMATION);
}

// ---- folder browser

bool TQvVclfn::SelectDirectory(HWND owner, const WideString& caption, WideString& path) {
  // The resizable browser (BIF_NEWDIALOGSTYLE) needs OLE on this thread.
  static const HRESULT ole = ::OleInitialize(nullptr);
  (void)ole;

  const WideString start = DirectoryExists(path) ? path : WideString();
  BROWSEINFOW info = {};
  wchar_t displayName[MAX_PATH] = {};
  info.hwndOwner = owner;
  info.pszDisplayName = displayName;
  info.lpszTitle = W(caption);
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  if (!start.empty()) {
    info.lpfn = BrowseCallback;
    info.lParam = reinterpret_cast<LPARAM>(W(start));
  }

  TTkApplication& app = Application();
  LPITEMIDLIST chosen = nullptr;
  {
    struct TRestore {
      TTkApplication& App;
      UINT Mode;
      ~TRestore() {
        ::SetErrorMode(Mode);
        App.ModalFinished();
      }
    };
    app.ModalStarted();
    // Empty drives must not raise the system's error boxes while the tree
    // is browsed.
    TRestore restore{app, ::SetErrorMode(SEM_FAILCRITICALERRORS)};
    chosen = ::SHBrowseForFolderW(&info);
  }
  bool result = false;
  if (chosen) {
    wchar_t buffer[MAX_PATH] = {};
    const bool isPath = ::SHGetPathFromIDListW(chosen, buffer) != FALSE;
    ::CoTaskMemFree(chosen);
    if (isPath && buffer[0]) {
      path = IncludeTrailingBackslash(WideString(reinterpret_cast<const char16_t*>(buffer)));
      result = true;
    }
  }
  app.ProcessMessages();
  return result;
}

// ---- the owned modal loop

int TQvVclfn::ShowModalOwned(TTkForm* form, TTkControl* owner) {
  if (!owner || !owner->Handle()) throw EAssertionFailed(u"Assertion failure", u"Common\\QvVclUtils", 1070);
  TTkControl* top = owner->TopLevel();
  const HWND ownerWnd = top->Handle();
  const HWND formWnd = form->Handle();

  // The dialog stays above its owner and is no top-level window of its
  // own on the taskbar.
  const LONG_PTR previousOwner = ::SetWindowLongPtrW(formWnd, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(ownerWnd));
  if (form->Visible() || !form->Enabled() || form->IsModal()) {
    ::SetWindowLongPtrW(formWnd, GWLP_HWNDPARENT, previousOwner);
    throw Exception(u"Cannot make a visible window modal");
  }
  if (HWND capture = ::GetCapture()) ::SendMessageW(capture, WM_CANCELMODE, 0, 0);
  ::ReleaseCapture();

  TTkApplication& app = Application();
  app.ModalStarted();
  form->SetModal(true);
  struct TRestore {
    TTkApplication& App;
    TTkForm* Form;
    HWND FormWnd;
    HWND OwnerWnd;
    LONG_PTR PreviousOwner;
    HWND Active = ::GetActiveWindow();
    TCursor Cursor;
    ~TRestore() {
      App.SetScreenCursor(Cursor);
      ::EnableWindow(OwnerWnd, TRUE);
      if (Active && ::IsWindow(Active)) ::SetActiveWindow(Active);
      Form->SetModal(false);
      App.ModalFinished();
      if (::IsWindow(FormWnd)) ::SetWindowLongPtrW(FormWnd, GWLP_HWNDPARENT, PreviousOwner);
    }
  } restore{app, form, formWnd, ownerWnd, previousOwner, ::GetActiveWindow(), app.ScreenCursor()};
  app.SetScreenCursor(crDefault);
  // Only the owner's window waits; other windows of the program stay
  // usable.
  ::EnableWindow(ownerWnd, FALSE);

  form->Show();
  form->SetModalResult(mrNone);
  do {
    app.HandleMessage();
    if (app.Terminated())
      form->SetModalResult(mrCancel);
    else if (form->ModalResult() != mrNone)
      form->CloseModal();
  } while (form->ModalResult() == mrNone);
  if (::GetActiveWindow() != formWnd) restore.Active = nullptr;
  form->Hide();
  return form->ModalResult();
}

// ---- painting aids

// Every control of the toolkit paints through a memory bitmap while its
// flag is on; this makes sure it is, for the whole tree.
void TQvVclfn::SetDoubleBuffered(TTkControl* control) {
  if (!control) return;
  control->SetDoubleBuffered(true);
  for (TTkControl* child : control->Controls()) SetDoubleBuffered(child);
}

// Windows hides the focus rectangles and accelerator underlines until the
// keyboard is used; Alt and Tab bring them back, and every control must
// paint again to show them.
void TQvVclfn::FormKeyDown(TTkForm* form, unsigned shift, WORD key) {
  if ((shift & ssAlt) != 0 || key == VK_TAB) InvalidateControls(form);
}

void TQvVclfn::InvalidateControls(TTkControl* control) {
  if (!control) return;
  control->Invalidate();
  for (TTkControl* child : control->Controls()) InvalidateControls(child);
}

// ---- the waiting window

void TQvVclfn::HideWaitingForm() {
  if (HWND wnd = FindWaitingForm()) ::ShowWindow(wnd, SW_HIDE);
}

void TQvVclfn::ShowWaitingForm() {
  if (HWND wnd = FindWaitingForm()) ::ShowWindow(wnd, SW_SHOWNA);
}
