// The application object: start-up of the common controls and GDI+, the
// message loops with the active form's keyboard handling, the screen
// cursor and the last stop of errors that no handler caught.
#include "TkApplication.h"

#include "QvSysUtils.h"
#include "TkForm.h"
#include "TkGdi.h"

using tk::W;

TTkApplication& Application() {
  static TTkApplication application;
  return application;
}

void TTkApplication::Initialize() {
  // A windowless program needs none of it.
  if (tk::Headless()) return;
  // The common controls are not imported: comctl32 is no DLL that Windows
  // always takes from System32, and as it starts it loads others
  // (uxtheme). Loaded here, after the program restricted the search, the
  // manifest's version 6 comes from the side-by-side store and what it
  // loads from System32.
  INITCOMMONCONTROLSEX controls = {};
  controls.dwSize = sizeof controls;
  controls.dwICC = ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES;
  using TInitCommonControlsEx = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
  if (HMODULE comctl = ::LoadLibraryW(L"comctl32.dll")) {
    auto init = reinterpret_cast<TInitCommonControlsEx>(
        reinterpret_cast<void (*)()>(::GetProcAddress(comctl, "InitCommonControlsEx")));
    if (init) init(&controls);
  }
  tk::StartGdiplus();
  TTkControl::RegisterWindowClass(tk::ControlClassName, false);
  TTkControl::RegisterWindowClass(tk::FormClassName, true);
}

void TTkApplication::Run() {
  while (!FTerminated) HandleMessage();
}

void TTkApplication::ProcessMessages() {
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      FTerminated = true;
      break;
    }
    DispatchOne(msg);
  }
}

void TTkApplication::HandleMessage() {
  MSG msg;
  const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
  if (got == 0 || got == -1) {
    FTerminated = true;
    return;
  }
  DispatchOne(msg);
}

void TTkApplication::DispatchOne(MSG& msg) {
  // The keyboard handling runs outside any window procedure, so its
  // errors are caught here; the loop goes on.
  try {
    if (msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN) {
      auto* form = dynamic_cast<TTkForm*>(TTkControl::FromHandle(::GetAncestor(msg.hwnd, GA_ROOT)));
      if (form && form->PreProcessMessage(msg)) return;
    }
  } catch (const Exception& error) {
    HandleException(error);
    return;
  } catch (const std::exception& error) {
    HandleException(error);
    return;
  }
  ::TranslateMessage(&msg);
  ::DispatchMessageW(&msg);
}

void TTkApplication::Terminate() {
  FTerminated = true;
  // Wakes a loop that waits in GetMessage.
  ::PostQuitMessage(0);
}

void TTkApplication::SetTitle(const WideString& title) { FTitle = title; }

void TTkApplication::Minimize() {
  if (FMainForm && FMainForm->Handle()) ::ShowWindow(FMainForm->Handle(), SW_MINIMIZE);
}

void TTkApplication::SetScreenCursor(TCursor cursor) {
  FScreenCursor = cursor;
  if (cursor != crDefault) {
    ::SetCursor(TkCursorHandle(cursor));
    return;
  }
  // Back to each window's own cursor: the window under the mouse chooses
  // it now rather than at the next mouse move.
  POINT at;
  if (!::GetCursorPos(&at)) return;
  const HWND wnd = ::WindowFromPoint(at);
  if (!wnd || ::GetWindowThreadProcessId(wnd, nullptr) != ::GetCurrentThreadId()) return;
  const LRESULT hit = ::SendMessageW(wnd, WM_NCHITTEST, 0, MAKELPARAM(at.x, at.y));
  ::SendMessageW(wnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(wnd), MAKELPARAM(hit, WM_MOUSEMOVE));
}

void TTkApplication::HandleException(const Exception& error) {
  if (OnException) {
    OnException(error);
    return;
  }
  ModalStarted();
  ::MessageBoxW(::GetActiveWindow(), W(error.Message()), W(FTitle), MB_OK | MB_ICONERROR);
  ModalFinished();
}

void TTkApplication::HandleException(const std::exception& error) {
  if (const auto* own = dynamic_cast<const Exception*>(&error)) {
    HandleException(*own);
    return;
  }
  HandleException(Exception(Utf8ToWide(error.what())));
}
