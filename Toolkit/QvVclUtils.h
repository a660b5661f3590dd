// Window-level utilities: the one message box, the folder browser, the
// owned modal loop and the painting aids of the base form. Windows only.
#pragma once

#include <windows.h>

#include "QvTypes.h"

class TTkControl;
class TTkForm;

class TQvVclfn {
public:
  // Text in a message box with the information icon and OK, owned by the
  // window, captioned with the application title; the arrow cursor while
  // it is up. With console reports on, the text goes to standard error
  // instead and nothing is shown.
  static void ShowInfo(HWND owner, const WideString& text);
  // The installer's /Silent mode shows no window at all.
  static void SetConsoleReports(bool on);
  static bool ConsoleReports();

  // The folder browser; true and path (with a trailing backslash) when the
  // user chose a folder, false and path unchanged otherwise.
  static bool SelectDirectory(HWND owner, const WideString& caption, WideString& path);

  // The modal loop of a form owned by a windowed control: only the owner's
  // top-level window is disabled. Raises "Cannot make a visible window
  // modal" for a visible, disabled or already modal form.
  static int ShowModalOwned(TTkForm* form, TTkControl* owner);

  static void SetDoubleBuffered(TTkControl* control);
  // Alt or Tab repaints every windowed control of the form.
  static void FormKeyDown(TTkForm* form, unsigned shift, WORD key);
  static void InvalidateControls(TTkControl* control);

  // Find the first top-level window of class name "TWaitingForm" and hide
  // or show it; the installer has none, so they find nothing.
  static void HideWaitingForm();
  static void ShowWaitingForm();
};
