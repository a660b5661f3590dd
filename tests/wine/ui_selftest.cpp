// Drives the window layer as a user meets it: a real form with real child
// windows, looked at from outside through the Win32 API (classes, texts,
// places, pixels), clicked and typed at with SendInput, dialogs run by the
// owned modal loop. Prints what failed and exits non-zero.
//
//   ui_selftest.exe [--hold SECONDS]   (--hold keeps the form up afterwards,
//                                       for a screenshot)
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "QvSysUtils.h"
#include "QvVclUtils.h"
#include "TkApplication.h"
#include "TkControls.h"
#include "TkForm.h"
#include "TkSkin.h"

namespace {

int Failures = 0;

void Check(bool ok, const std::string& what) {
  if (!ok) {
    std::fprintf(stderr, "FAILED: %s\n", what.c_str());
    ++Failures;
  }
}

std::string Narrow(const WideString& s) { return WideToUtf8(s); }

WideString ClassOf(HWND wnd) {
  wchar_t name[64] = {};
  ::GetClassNameW(wnd, name, 64);
  return reinterpret_cast<const char16_t*>(name);
}

WideString TextOf(HWND wnd) {
  wchar_t text[256] = {};
  ::GetWindowTextW(wnd, text, 256);
  return reinterpret_cast<const char16_t*>(text);
}

RECT RectInParent(HWND wnd) {
  RECT r;
  ::GetWindowRect(wnd, &r);
  ::MapWindowPoints(HWND_DESKTOP, ::GetParent(wnd), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

struct TChildSearch {
  WideString Class, Text;
  HWND Found = nullptr;
};

BOOL CALLBACK MatchChild(HWND wnd, LPARAM param) {
  auto* search = reinterpret_cast<TChildSearch*>(param);
  // Window classes compare without regard to case ("BUTTON" is "Button").
  if (SameText(ClassOf(wnd), search->Class) && TextOf(wnd) == search->Text) {
    search->Found = wnd;
    return FALSE;
  }
  return TRUE;
}

// The child window of that class and text anywhere below parent.
HWND FindChild(HWND parent, const WideString& className, const WideString& text) {
  TChildSearch search{className, text};
  ::EnumChildWindows(parent, MatchChild, reinterpret_cast<LPARAM>(&search));
  return search.Found;
}

void CheckPlace(HWND wnd, int left, int top, int width, int height, const std::string& what) {
  const RECT r = RectInParent(wnd);
  const bool ok = r.left == left && r.top == top && r.right - r.left == width && r.bottom - r.top == height;
  Check(ok, what + " at (" + std::to_string(left) + "," + std::to_string(top) + ") " + std::to_string(width) + "x" +
                std::to_string(height) + ", found (" + std::to_string(r.left) + "," + std::to_string(r.top) + ") " +
                std::to_string(r.right - r.left) + "x" + std::to_string(r.bottom - r.top));
}

// Runs the message loop until done() or the time is up.
bool PumpUntil(const std::function<bool()>& done, int milliseconds = 3000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (std::chrono::steady_clock::now() < end) {
    Application().ProcessMessages();
    if (done()) return true;
    ::Sleep(10);
  }
  Application().ProcessMessages();
  return done();
}

void Pump(int milliseconds) { PumpUntil([] { return false; }, milliseconds); }

void SendMouse(HWND wnd, DWORD down, DWORD up) {
  RECT r;
  ::GetWindowRect(wnd, &r);
  ::SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
  INPUT input[2] = {};
  input[0].type = input[1].type = INPUT_MOUSE;
  input[0].mi.dwFlags = down;
  input[1].mi.dwFlags = up;
  ::SendInput(2, input, sizeof(INPUT));
}

void SendKey(WORD key, bool shift = false) {
  std::vector<INPUT> input;
  auto add = [&](WORD vk, bool release) {
    INPUT i = {};
    i.type = INPUT_KEYBOARD;
    i.ki.wVk = vk;
    i.ki.dwFlags = release ? KEYEVENTF_KEYUP : 0;
    input.push_back(i);
  };
  if (shift) add(VK_SHIFT, false);
  add(key, false);
  add(key, true);
  if (shift) add(VK_SHIFT, true);
  ::SendInput(static_cast<UINT>(input.size()), input.data(), sizeof(INPUT));
}

bool WaitFor(const std::function<bool()>& done, int milliseconds = 5000) {
  for (int waited = 0; waited < milliseconds; waited += 20) {
    if (done()) return true;
    ::Sleep(20);
  }
  return done();
}

HWND FocusOf(DWORD thread) {
  GUITHREADINFO info = {};
  info.cbSize = sizeof info;
  return ::GetGUIThreadInfo(thread, &info) ? info.hwndFocus : nullptr;
}

// A 16 x 16 PNG: blue with an orange diagonal.
const char TestPng[] =
    "\x89\x50\x4e\x47\x0d\x0a\x1a\x0a\x00\x00\x00\x0d\x49\x48\x44\x52\x00\x00\x00\x10\x00\x00\x00\x10"
    "\x08\x06\x00\x00\x00\x1f\xf3\xff\x61\x00\x00\x00\x58\x49\x44\x41\x54\x78\xda\xa5\xd3\x4b\x0a\x00"
    "\x20\x08\x05\x40\xef\x7f\x03\x8f\xea\xaa\x68\x11\x88\xf8\x7b\xba\x30\xd2\x60\x88\x34\x12\xa6\xf3"
    "\x83\x58\xf0\xd0\xc0\x08\xb1\x00\x8c\xbc\x65\x85\xfc\xcd\x18\xd1\xc9\x08\xb1\x05\x18\xf1\x8a\x10"
    "\x12\x1d\xb4\x91\xec\x7a\x2d\xa4\x7a\xa4\x12\xe9\xb4\x2a\x45\xba\x03\x13\x22\xc8\xd8\xba\x08\xfa"
    "\x79\xd6\x80\x45\x2e\xbb\x9f\x91\x1f\xd5\x7e\x58\xe3\x00\x00\x00\x00\x49\x45\x4e\x44\xae\x42\x60"
    "\x82";

// The main window of the test: what an installer page holds.
struct TTestForm {
  TTkForm Form{nullptr};
  TTkPanel* Header;
  TTkLabel* Title;
  TTkLabel* OneLine;
  TTkCheckBox* Agree;
  TTkPanel* Buttons;
  TTkBevel* Line;
  TTkButton* Ok;
  TTkButton* Boom;
  TTkPanel* Client;
  TTkEdit* Path;
  TTkProgressBar* Progress;
  TTkPaintBox* Paint;
  TTkImage* Image;
  TTkLabel* Hidden;

  TTestForm() {
    Form.SetCaption(u"Toolkit self-test");
    Form.SetClientSize(480, 300);
    Header = new TTkPanel(&Form);
    Header->SetColor(RGB(255, 255, 255));
    Header->SetHeight(64);
    Header->SetAlign(TAlign::alTop);
    Title = new TTkLabel(Header);
    Title->SetBounds(12, 8, 10, 10);
    TTkFont bold = Title->Font();
    bold.Bold = true;
    bold.Height = 14;
    Title->SetFont(bold);
    Title->SetAutoSize(true);
    Title->SetCaption(u"Demo Product\r\nVersion 1.0");
    Title->SetCursor(crHandPoint);
    OneLine = new TTkLabel(Header);
    OneLine->SetBounds(300, 8, 10, 10);
    OneLine->SetFont(bold);
    OneLine->SetAutoSize(true);
    OneLine->SetCaption(u"One line");
    Agree = new TTkCheckBox(Header);
    Agree->SetBounds(300, 36, 42, 17);
    Agree->SetCaption(u"I agree to the license");

    Buttons = new TTkPanel(&Form);
    Buttons->SetHeight(41);
    Buttons->SetAlign(TAlign::alBottom);
    Line = new TTkBevel(Buttons);
    Line->SetHeight(2);
    Line->SetAlign(TAlign::alTop);
    Ok = new TTkButton(Buttons);
    Ok->SetBounds(397, 8, 75, 25);
    Ok->SetCaption(u"OK");
    Boom = new TTkButton(Buttons);
    Boom->SetBounds(314, 8, 75, 25);
    Boom->SetCaption(u"Boom");

    Client = new TTkPanel(&Form);
    Client->SetBorderWidth(8);
    Client->SetAlign(TAlign::alClient);
    Path = new TTkEdit(Client);
    Path->SetBounds(8, 8, 300, 22);
    Path->SetText(u"C:\\Program Files\\Demo");
    Progress = new TTkProgressBar(Client);
    Progress->SetBounds(8, 40, 300, 17);
    Progress->SetMax(8);
    Progress->SetPosition(3);
    Paint = new TTkPaintBox(Client);
    Paint->SetBounds(330, 8, 64, 64);
    Paint->OnPaint = [](HDC dc, const RECT& r) {
      HBRUSH brush = ::CreateSolidBrush(RGB(220, 40, 40));
      HGDIOBJ old = ::SelectObject(dc, brush);
      ::Ellipse(dc, r.left + 4, r.top + 4, r.right - 4, r.bottom - 4);
      ::SelectObject(dc, old);
      ::DeleteObject(brush);
    };
    Image = new TTkImage(Client);
    Image->SetBounds(400, 8, 64, 64);
    Image->SetPicture(TTkPicture::FromBytes(std::string(TestPng, sizeof TestPng - 1)));
    Hidden = new TTkLabel(Client);
    Hidden->SetBounds(8, 70, 100, 17);
    Hidden->SetCaption(u"Hidden");
    Hidden->Hide();
  }
};

void CheckLayout(TTestForm& t) {
  const HWND form = t.Form.Handle();
  Check(IsWindowVisible(form) != FALSE, "the form is shown");
  RECT client;
  ::GetClientRect(form, &client);
  Check(client.right == 480 && client.bottom == 300, "SetClientSize gives a 480x300 client area");

  const HWND ok = FindChild(form, u"BUTTON", u"OK");
  Check(ok && ::GetParent(ok) == t.Buttons->Handle(), "the OK button is a BUTTON on the button panel");
  if (ok) CheckPlace(ok, 397, 8, 75, 25, "OK button");
  const HWND agree = FindChild(form, u"BUTTON", u"I agree to the license");
  Check(agree && (::GetWindowLongW(agree, GWL_STYLE) & BS_TYPEMASK) == BS_OWNERDRAW, "the check box is a BUTTON drawn by the skin");
  Check(agree && (::SendMessageW(agree, BM_GETCHECK, 0, 0) == BST_CHECKED) == t.Agree->Checked(),
        "the check box answers BM_GETCHECK with its state");
  Check(agree && RectInParent(agree).right - RectInParent(agree).left > 100, "the check box widened to its caption");
  const HWND path = FindChild(form, u"EDIT", u"C:\\Program Files\\Demo");
  Check(path != nullptr, "the edit field holds its text");
  if (path) CheckPlace(path, 8, 8, 300, 22, "edit field");

  const HWND title = FindChild(form, u"TkControl", u"Demo Product\r\nVersion 1.0");
  Check(title && ::IsWindowVisible(title), "the two-line label is a visible window with its caption");
  // The label sized itself to two lines.
  Check(t.Title->Height() >= 2 * t.OneLine->Height() - 2, "a CR LF in a label's caption gives a second line");
  const HWND hidden = FindChild(form, u"TkControl", u"Hidden");
  Check(hidden && !::IsWindowVisible(hidden), "a hidden label's window is invisible");

  // Aligned panels: header on top, buttons at the bottom, client between.
  CheckPlace(t.Header->Handle(), 0, 0, 480, 64, "header panel (top)");
  CheckPlace(t.Buttons->Handle(), 0, 259, 480, 41, "button panel (bottom)");
  CheckPlace(t.Client->Handle(), 0, 64, 480, 195, "client panel (the rest)");
  CheckPlace(t.Line->Handle(), 0, 0, 480, 2, "bevel along the top of the button panel");
  t.Form.SetClientSize(560, 340);
  Pump(100);
  CheckPlace(t.Buttons->Handle(), 0, 299, 560, 41, "button panel after the form grew");
  CheckPlace(t.Client->Handle(), 0, 64, 560, 235, "client panel after the form grew");
  t.Form.SetClientSize(480, 300);
  Pump(100);
}

// What the screen shows: the fill of 3 of 8 and the rest of the bar, the
// white panel behind the check box, the paint box's own drawing.
void CheckPixels(TTestForm& t) {
  auto pixel = [](TTkControl* c, int x, int y) {
    ::UpdateWindow(c->Handle());
    HDC dc = ::GetDC(c->Handle());
    const COLORREF color = ::GetPixel(dc, x, y);
    ::ReleaseDC(c->Handle(), dc);
    return color;
  };
  t.Path->SetFocus();  // no focus rectangle on the check box
  Pump(200);
  Check(pixel(t.Progress, 3, 3) == tkskin::Accent(), "the progress bar is filled at its left end in the accent colour");
  Check(pixel(t.Progress, 295, 3) == RGB(230, 230, 230), "the progress bar shows its track at its right end");
  const COLORREF behindBox = pixel(t.Agree, t.Agree->Width() - 2, 1);
  Check(behindBox == RGB(255, 255, 255), "the check box draws on its white panel, found " + std::to_string(behindBox));
  Check(pixel(t.Paint, 32, 32) == RGB(220, 40, 40), "the paint box shows what OnPaint drew");
}

void CheckProgressText(TTestForm& t) {
  struct TCase {
    int Position, Max;
    const char16_t* Text;
  } cases[] = {{1, 8, u"12%"}, {3, 8, u"38%"}, {5, 8, u"62%"}, {7, 8, u"88%"}, {0, 0, u"0%"}, {12, 8, u"100%"}};
  for (const TCase& c : cases) {
    t.Progress->SetMax(c.Max);
    t.Progress->SetPosition(c.Position);
    Check(t.Progress->PercentText() == c.Text, "progress " + std::to_string(c.Position) + " of " +
                                                    std::to_string(c.Max) + " shows " + Narrow(c.Text) +
                                                    ", not " + Narrow(t.Progress->PercentText()));
  }
  Check(t.Progress->Position() == 8, "a position beyond the maximum is clamped to it");
  t.Progress->SetPosition(-3);
  Check(t.Progress->Position() == 0, "a negative position is clamped to 0");
  t.Progress->SetMax(8);
  t.Progress->SetPosition(3);
}

void CheckClicks(TTestForm& t, std::vector<WideString>& errors) {
  int okClicks = 0, agreeClicks = 0, titleClicks = 0;
  std::vector<int> titleButtons;
  t.Ok->OnClick = [&] { ++okClicks; };
  t.Agree->OnClick = [&] { ++agreeClicks; };
  t.Title->OnClick = [&] { ++titleClicks; };
  t.Title->OnMouseDown = [&](int button, int, int) { titleButtons.push_back(button); };
  t.Boom->OnClick = [] { throw Exception(u"boom in a click handler"); };

  ::SendMessageW(t.Ok->Handle(), BM_CLICK, 0, 0);
  Check(okClicks == 1, "BM_CLICK on a button fires its OnClick");

  ::SetForegroundWindow(t.Form.Handle());
  Pump(100);
  const bool wasChecked = t.Agree->Checked();
  SendMouse(t.Agree->Handle(), MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP);
  Check(PumpUntil([&] { return agreeClicks == 1; }), "a real click on the check box fires OnClick");
  Check(t.Agree->Checked() != wasChecked, "a real click toggles the check box");

  SendMouse(t.Title->Handle(), MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP);
  Check(PumpUntil([&] { return titleClicks == 1; }), "a real click on a painted label fires OnClick");
  Check(::GetCursor() == ::LoadCursorW(nullptr, IDC_HAND), "the label with the hand cursor shows the hand");
  SendMouse(t.Title->Handle(), MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP);
  PumpUntil([&] { return titleButtons.size() == 2; });
  Check(titleButtons == std::vector<int>({0, 1}), "OnMouseDown reports the left, then the right button");
  Check(titleClicks == 1, "a right click is no click");

  // The handler's error reaches the application; the loop goes on and
  // handles the next click.
  ::PostMessageW(t.Boom->Handle(), BM_CLICK, 0, 0);
  ::PostMessageW(t.Ok->Handle(), BM_CLICK, 0, 0);
  PumpUntil([&] { return okClicks == 2; });
  Check(errors.size() == 1 && errors[0] == u"boom in a click handler", "an error in OnClick reaches OnException");
  Check(okClicks == 2, "the message loop goes on after an error in a handler");
}

// The dialog of the owned modal loop: a field, a default and a cancel
// button, in a tab order of its own.
struct TTestDialog {
  TTkForm Form;
  TTkEdit* Name;
  TTkButton* Retry;
  TTkButton* Ignore;
  int RetryClicks = 0;

  explicit TTestDialog(TTkForm* owner) : Form(owner) {
    Form.SetBorderStyle(TBorderStyle::bsDialog);
    Form.SetCaption(owner ? u"Owned dialog" : u"Unowned dialog");
    Form.SetClientSize(320, 120);
    Name = new TTkEdit(&Form);
    Name->SetBounds(16, 16, 200, 22);
    Retry = new TTkButton(&Form);
    Retry->SetBounds(148, 80, 75, 25);
    Retry->SetCaption(u"Retry");
    Retry->ModalResult = mrRetry;
    Retry->OnClick = [this] { ++RetryClicks; };
    Ignore = new TTkButton(&Form);
    Ignore->SetBounds(232, 80, 75, 25);
    Ignore->SetCaption(u"Ignore");
    Ignore->ModalResult = mrIgnore;
    Form.SetDefaultButton(Retry);
    Form.SetCancelButton(Ignore);
    Ignore->SetTabOrder(1);  // name, Ignore, Retry
  }
};

// Runs one modal dialog while another thread acts as the user.
void RunModal(const std::string& name, HWND mainWnd, TTkForm& dialog, const std::function<int()>& show,
              const std::function<void(HWND)>& user, int expected, HWND expectedOwner) {
  const HWND dlg = dialog.Handle();
  std::atomic<bool> ownerDisabled{false}, ownedByMain{false};
  std::thread driver([&] {
    if (!WaitFor([&] { return ::IsWindowVisible(dlg) != FALSE; })) return;
    ownerDisabled = !::IsWindowEnabled(mainWnd);
    ownedByMain = ::GetWindow(dlg, GW_OWNER) == mainWnd;
    ::SetForegroundWindow(dlg);
    ::Sleep(100);
    user(dlg);
    // Nobody may wait for ever: a dialog still up is closed.
    if (!WaitFor([&] { return !::IsWindowVisible(dlg); })) ::PostMessageW(dlg, WM_CLOSE, 0, 0);
  });
  const int result = show();
  driver.join();
  Check(result == expected, name + ": modal result " + std::to_string(expected) + ", got " + std::to_string(result));
  Check(ownerDisabled, name + ": the owner is disabled while the dialog runs");
  Check(ownedByMain, name + ": the dialog is owned by the main window while it runs");
  Check(::IsWindowEnabled(mainWnd) != FALSE, name + ": the owner is enabled again afterwards");
  Check(!::IsWindowVisible(dlg), name + ": the dialog is hidden afterwards");
  Check(::GetWindow(dlg, GW_OWNER) == expectedOwner, name + ": the dialog has its own owner back");
}

void CheckModal(TTestForm& t) {
  const HWND mainWnd = t.Form.Handle();
  const DWORD uiThread = ::GetCurrentThreadId();

  TTestDialog owned(&t.Form);
  RunModal("Enter", mainWnd, owned.Form, [&] { return owned.Form.ShowModal(); },
           [](HWND) { SendKey(VK_RETURN); }, mrRetry, mainWnd);
  Check(owned.RetryClicks == 1, "Enter fires the default button's OnClick");
  RunModal("Esc", mainWnd, owned.Form, [&] { return owned.Form.ShowModal(); },
           [](HWND) { SendKey(VK_ESCAPE); }, mrIgnore, mainWnd);

  // An unowned form run for a control of the main window: the control's
  // top-level window owns it for the time of the loop.
  TTestDialog loose(nullptr);
  auto showLoose = [&] { return TQvVclfn::ShowModalOwned(&loose.Form, t.Path); };
  HWND focusAfterTab = nullptr;
  RunModal("Tab then Enter", mainWnd, loose.Form, showLoose,
           [&](HWND) {
             SendKey(VK_TAB);
             WaitFor([&] { return FocusOf(uiThread) == loose.Ignore->Handle(); }, 2000);
             focusAfterTab = FocusOf(uiThread);
             SendKey(VK_RETURN);
           },
           mrIgnore, nullptr);
  Check(focusAfterTab == loose.Ignore->Handle(), "Tab moves the focus from the field to the next in tab order");
  Check(loose.RetryClicks == 0, "Enter presses the focused button, not the default one");
  // The dialog gives the focus back to Ignore, where it was; Shift+Tab
  // goes back to the field, then round to Retry, the last.
  HWND focusAfterShiftTab = nullptr;
  RunModal("Shift+Tab then Enter", mainWnd, loose.Form, showLoose,
           [&](HWND) {
             SendKey(VK_TAB, true);
             SendKey(VK_TAB, true);
             WaitFor([&] { return FocusOf(uiThread) == loose.Retry->Handle(); }, 2000);
             focusAfterShiftTab = FocusOf(uiThread);
             SendKey(VK_RETURN);
           },
           mrRetry, nullptr);
  Check(focusAfterShiftTab == loose.Retry->Handle(), "Shift+Tab moves the focus backwards and wraps round");
  RunModal("close box", mainWnd, loose.Form, showLoose, [](HWND dlg) { ::PostMessageW(dlg, WM_CLOSE, 0, 0); },
           mrCancel, nullptr);

  // A form already on the screen cannot run modally; nothing is left
  // changed.
  loose.Form.Show();
  std::string message;
  try {
    TQvVclfn::ShowModalOwned(&loose.Form, t.Path);
  } catch (const Exception& e) {
    message = Narrow(e.Message());
  }
  Check(message == "Cannot make a visible window modal", "a visible form refuses to run modally: '" + message + "'");
  Check(::GetWindow(loose.Form.Handle(), GW_OWNER) == nullptr, "the refused form keeps its own owner");
  Check(::IsWindowEnabled(mainWnd) != FALSE, "the owner stays enabled when the dialog is refused");
  loose.Form.Hide();

  int line = 0;
  try {
    TQvVclfn::ShowModalOwned(&loose.Form, nullptr);
  } catch (const EAssertionFailed& e) {
    line = e.Line();
  }
  Check(line == 1070, "a dialog without a windowed owner is an assertion failure");
}

// Waits for a system dialog of this process (a message box, the folder
// browser) and answers it with a command.
std::thread AnswerDialog(const wchar_t* caption, WPARAM command, std::function<void(HWND)> look = nullptr) {
  return std::thread([=] {
    HWND box = nullptr;
    WaitFor([&] { return (box = ::FindWindowW(L"#32770", caption)) != nullptr && ::IsWindowVisible(box); }, 10000);
    if (!box) return;
    ::Sleep(300);
    if (look) look(box);
    ::PostMessageW(box, WM_COMMAND, command, 0);
  });
}

void CheckMessageBoxes(TTestForm& t) {
  // The box is captioned with the application title and shows the arrow
  // over everything, even while the program shows the hourglass.
  Application().SetScreenCursor(crHourGlass);
  std::atomic<int> cursorDuringBox{-1};
  std::thread user = AnswerDialog(L"Toolkit self-test", IDOK,
                                  [&](HWND) { cursorDuringBox = Application().ScreenCursor(); });
  TQvVclfn::ShowInfo(t.Form.Handle(), u"Something to say");
  user.join();
  Check(cursorDuringBox == crDefault, "no screen cursor while the message box is up");
  Check(Application().ScreenCursor() == crHourGlass, "the hourglass is back after the message box");
  Check(Application().ModalLevel() == 0, "the message box ended its modal level");
  Application().SetScreenCursor(crDefault);

  // A silent run writes the message to standard error and shows nothing
  // (a box would never be answered here and the test would not end).
  wchar_t file[MAX_PATH];
  ::GetTempPathW(MAX_PATH, file);
  ::lstrcatW(file, L"ui_selftest_stderr.txt");
  const HANDLE out = ::CreateFileW(file, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
  const HANDLE saved = ::GetStdHandle(STD_ERROR_HANDLE);
  ::SetStdHandle(STD_ERROR_HANDLE, out);
  TQvVclfn::SetConsoleReports(true);
  TQvVclfn::ShowInfo(t.Form.Handle(), u"Silent report");
  TQvVclfn::SetConsoleReports(false);
  ::SetStdHandle(STD_ERROR_HANDLE, saved);
  ::CloseHandle(out);
  std::string written;
  if (FILE* f = ::_wfopen(file, L"rb")) {
    char buffer[64] = {};
    written.assign(buffer, std::fread(buffer, 1, sizeof buffer, f));
    std::fclose(f);
  }
  ::DeleteFileW(file);
  Check(written == "Silent report\r\n", "console reports go to standard error with CR LF: '" + written + "'");
}

void CheckFolderBrowser(TTestForm& t) {
  // OK takes the preselected start folder and adds the backslash.
  WideString path = u"C:\\windows\\system32";
  std::thread user = AnswerDialog(nullptr, IDOK);
  bool chosen = TQvVclfn::SelectDirectory(t.Form.Handle(), u"Select the destination", path);
  user.join();
  Check(chosen && SameText(path, u"C:\\windows\\system32\\"),
        "the folder browser opens on the start folder and returns it with a backslash: " + Narrow(path));
  // Cancel leaves the path alone.
  path = u"C:\\windows";
  user = AnswerDialog(nullptr, IDCANCEL);
  chosen = TQvVclfn::SelectDirectory(t.Form.Handle(), u"Select the destination", path);
  user.join();
  Check(!chosen && path == u"C:\\windows", "cancelling the folder browser changes nothing");
}

void CheckPictures() {
  std::string message;
  try {
    TTkPicture::FromBytes("this is no picture");
  } catch (const Exception& e) {
    message = Narrow(e.Message());
  }
  Check(message.find("Cannot decode the picture") == 0, "undecodable bytes raise an error naming it: '" + message + "'");
  std::string bytes(TestPng, sizeof TestPng - 1);
  auto picture = TTkPicture::FromBytes(bytes);
  bytes.assign(bytes.size(), '\0');  // the picture keeps a copy of its own
  Check(picture->Width() == 16 && picture->Height() == 16 && picture->IsPng(), "a PNG decodes to its size");
}

}  // namespace

int main(int argc, char** argv) {
  int hold = 0;
  for (int i = 1; i + 1 < argc; ++i)
    if (std::string(argv[i]) == "--hold") hold = std::atoi(argv[i + 1]);
  // Nothing here may hang a test run.
  std::thread([] {
    ::Sleep(120000);
    std::fprintf(stderr, "FAILED: the self-test did not finish in two minutes\n");
    std::fflush(stderr);
    ::ExitProcess(3);
  }).detach();

  Application().Initialize();
  Application().SetTitle(u"Toolkit self-test");
  std::vector<WideString> errors;
  Application().OnException = [&](const Exception& e) { errors.push_back(e.Message()); };
  try {
    TTestForm t;
    Application().SetMainForm(&t.Form);
    t.Form.Show();
    Pump(300);
    CheckLayout(t);
    CheckProgressText(t);
    CheckPixels(t);
    CheckClicks(t, errors);
    CheckModal(t);
    CheckMessageBoxes(t);
    CheckFolderBrowser(t);
    CheckPictures();
    if (hold > 0) {
      t.Form.Show();
      Pump(hold * 1000);
    }
  } catch (const Exception& e) {
    Check(false, "unexpected error: " + Narrow(e.Message()));
  }
  if (Failures == 0) std::printf("ui_selftest: all checks passed\n");
  return Failures == 0 ? 0 : 1;
}
