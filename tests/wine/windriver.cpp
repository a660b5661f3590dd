// windriver.exe: finds, reads and drives windows as a person meets them.
//
//   windriver [options] wait TITLE            prints the window's handle
//   windriver [options] gone TITLE            waits until no such window is visible
//   windriver [options] dump TITLE            the window and every control in it
//   windriver [options] text TITLE            what a person can read in it
//   windriver [options] click TITLE CAPTION   a real mouse click on a control
//   windriver [options] drag TITLE CAPTION DX DY  press on a control, move, release
//   windriver [options] key TITLE KEY         Enter, Esc, Tab, Space, Alt+F4 ...
//   windriver [options] settext TITLE CLASS TEXT
//   windriver [options] close TITLE           posts WM_CLOSE
//   windriver list                            every visible top-level window
// Options: --title-contains, --class NAME (only windows of that class: a
// message box titled as its owner is "#32770"), --pid N (a Windows process
// id), --timeout SECONDS (default 20), --message (click with BM_CLICK
// instead of the mouse; other controls get a posted left-button press and
// release, which reach them also under a modal window), --hidden (also
// find invisible windows).
//
// A window is looked for among the top-level windows, by its exact title or
// a part of it; every command that names one waits for it first. A control
// is named by its caption, or by "@name" for the name the installer's
// window layer gives it ("@imgClose").
//
// dump prints the window's own facts (title, class, client, rect, style,
// focus: the name and text of the focused control, ...), then one line per
// control:
//   CLASS|TEXT|VISIBLE|ENABLED|X,Y,W,H|NAME|PX,PY|CHECKED
// X,Y relative to the window's client area, PX,PY to the parent's;
// CHECKED is what the control answers to BM_GETCHECK (0 for others).
#include "WineTool.h"

namespace {

struct Options {
  bool contains = false;
  bool hidden = false;
  bool message = false;
  DWORD pid = 0;
  DWORD timeoutMs = 20000;
  WideString cls;
};

Options opt;

WideString ClassOf(HWND w) {
  wchar_t buf[256] = {};
  const int n = ::GetClassNameW(w, buf, 256);
  return wt::FromW(buf, n > 0 ? static_cast<size_t>(n) : 0);
}

// WM_GETTEXT rather than GetWindowTextW: across processes the latter only
// sees the caption the window was created with, not what an edit holds now
// or what a custom control answers. A hung window must not hang the driver.
WideString TextOf(HWND w) {
  DWORD_PTR len = 0;
  if (!::SendMessageTimeoutW(w, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &len)) {
    wchar_t buf[1024] = {};
    const int n = ::InternalGetWindowText(w, buf, 1024);
    return wt::FromW(buf, n > 0 ? static_cast<size_t>(n) : 0);
  }
  std::vector<wchar_t> buf(len + 2, 0);
  DWORD_PTR got = 0;
  ::SendMessageTimeoutW(w, WM_GETTEXT, buf.size(), reinterpret_cast<LPARAM>(buf.data()), SMTO_ABORTIFHUNG, 2000,
                        &got);
  return wt::FromW(buf.data(), got < buf.size() ? got : 0);
}

DWORD PidOf(HWND w) {
  DWORD pid = 0;
  ::GetWindowThreadProcessId(w, &pid);
  return pid;
}

bool SameText(const WideString& a, const WideString& b) {
  return ::CompareStringOrdinal(wt::W(a), static_cast<int>(a.size()), wt::W(b), static_cast<int>(b.size()), TRUE) ==
         CSTR_EQUAL;
}

// A caption as a person reads it: "&Next" shows as "Next", "&&" as "&".
WideString WithoutMnemonics(const WideString& s) {
  WideString r;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == u'&' && i + 1 < s.size()) ++i;
    else if (s[i] == u'&') continue;
    r += s[i];
  }
  return r;
}

bool CaptionMatches(const WideString& text, const WideString& caption) {
  return text == caption || WithoutMnemonics(text) == caption || WithoutMnemonics(text) == WithoutMnemonics(caption);
}

bool TitleMatches(const WideString& title, const WideString& wanted) {
  return opt.contains ? title.find(wanted) != WideString::npos : title == wanted;
}

BOOL CALLBACK Collect(HWND w, LPARAM found) {
  reinterpret_cast<std::vector<HWND>*>(found)->push_back(w);
  return TRUE;
}

std::vector<HWND> TopLevelWindows(bool all) {
  std::vector<HWND> found;
  ::EnumWindows(Collect, reinterpret_cast<LPARAM>(&found));
  if (all) return found;
  std::vector<HWND> visible;
  for (HWND w : found)
    if (::IsWindowVisible(w)) visible.push_back(w);
  return visible;
}

HWND FindTop(const WideString& title) {
  for (HWND w : TopLevelWindows(opt.hidden)) {
    if (opt.pid && PidOf(w) != opt.pid) continue;
    if (!opt.cls.empty() && !SameText(ClassOf(w), opt.cls)) continue;
    // The title of a top-level window is kept by the system; asking its
    // process would stall on a window that is busy.
    wchar_t buf[1024] = {};
    const int n = ::InternalGetWindowText(w, buf, 1024);
    if (TitleMatches(wt::FromW(buf, n > 0 ? static_cast<size_t>(n) : 0), title)) return w;
  }
  return nullptr;
}

WideString ListLine(HWND w) {
  wchar_t buf[1024] = {};
  const int n = ::InternalGetWindowText(w, buf, 1024);
  return wt::Hex(reinterpret_cast<uintptr_t>(w)) + u"|" + wt::ToWide(PidOf(w)) + u"|" + ClassOf(w) + u"|" +
         wt::FromW(buf, n > 0 ? static_cast<size_t>(n) : 0);
}

// What was on the screen when a wait failed: the usual cause is a window
// with another title (an error message instead of the expected page).
WideString VisibleWindows() {
  WideString r;
  for (HWND w : TopLevelWindows(false)) r += u"\n  " + ListLine(w);
  return r.empty() ? WideString(u" none") : r;
}

// Polls until found or the time is up; check() answers with a reason for
// going on waiting, or an empty text once it is satisfied.
template <class Check>
void Poll(Check check, const WideString& what) {
  const DWORD start = ::GetTickCount();
  for (;;) {
    const WideString reason = check();
    if (reason.empty()) return;
    if (::GetTickCount() - start >= opt.timeoutMs)
      throw EOSError(what + u": " + reason + u" after " + wt::ToWide(opt.timeoutMs / 1000) +
                     u" s; visible windows:" + VisibleWindows());
    ::Sleep(100);
  }
}

HWND WaitTop(const WideString& title) {
  HWND found = nullptr;
  Poll([&]() -> WideString { return (found = FindTop(title)) ? WideString() : u"not found"; },
       u"window \"" + title + u"\"");
  return found;
}

std::vector<HWND> Descendants(HWND top) {
  std::vector<HWND> found;
  ::EnumChildWindows(top, Collect, reinterpret_cast<LPARAM>(&found));
  return found;
}

// A control takes input only when it and every window above it are enabled.
bool Usable(HWND w) {
  for (HWND p = w; p; p = ::GetAncestor(p, GA_PARENT)) {
    if (!::IsWindowEnabled(p)) return false;
    if (p == ::GetAncestor(w, GA_ROOT)) break;
  }
  return ::IsWindowVisible(w) != FALSE;
}

// The name the toolkit gave a control, empty for other windows.
WideString NameOf(HWND w) {
  static const UINT query = ::RegisterWindowMessageW(L"TkControl.Name");
  DWORD_PTR atom = 0;
  if (!query || !::SendMessageTimeoutW(w, query, 0, 0, SMTO_ABORTIFHUNG, 2000, &atom) || atom == 0) return WideString();
  wchar_t buf[256] = {};
  const UINT n = ::GlobalGetAtomNameW(static_cast<ATOM>(atom), buf, 256);
  return wt::FromW(buf, n);
}

bool ControlMatches(HWND w, const WideString& caption) {
  if (caption.size() > 1 && caption[0] == u'@') return NameOf(w) == caption.substr(1);
  return CaptionMatches(TextOf(w), caption);
}

RECT ClientRelative(HWND top, HWND w) {
  RECT r = {};
  ::GetWindowRect(w, &r);
  ::MapWindowPoints(HWND_DESKTOP, top, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

WideString Flat(const WideString& s) {
  WideString r;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == u'\r' && i + 1 < s.size() && s[i + 1] == u'\n') continue;
    if (s[i] == u'\r' || s[i] == u'\n') r += u"\\n";
    else r += s[i];
  }
  return r;
}

WideString Int(LONG v) { return v < 0 ? u"-" + wt::ToWide(static_cast<unsigned long>(-v)) : wt::ToWide(v); }

WideString StyleNames(DWORD style, DWORD ex) {
  struct Bit { DWORD bit; const char16_t* name; };
  static const Bit styles[] = {
      {WS_POPUP, u"WS_POPUP"}, {WS_CHILD, u"WS_CHILD"}, {WS_MINIMIZE, u"WS_MINIMIZE"}, {WS_VISIBLE, u"WS_VISIBLE"},
      {WS_DISABLED, u"WS_DISABLED"}, {WS_CLIPSIBLINGS, u"WS_CLIPSIBLINGS"}, {WS_CLIPCHILDREN, u"WS_CLIPCHILDREN"},
      {WS_MAXIMIZE, u"WS_MAXIMIZE"}, {WS_VSCROLL, u"WS_VSCROLL"}, {WS_HSCROLL, u"WS_HSCROLL"},
      {WS_SYSMENU, u"WS_SYSMENU"}, {WS_THICKFRAME, u"WS_THICKFRAME"}, {WS_MINIMIZEBOX, u"WS_MINIMIZEBOX"},
      {WS_MAXIMIZEBOX, u"WS_MAXIMIZEBOX"}};
  static const Bit exStyles[] = {
      {WS_EX_DLGMODALFRAME, u"WS_EX_DLGMODALFRAME"}, {WS_EX_TOPMOST, u"WS_EX_TOPMOST"},
      {WS_EX_TOOLWINDOW, u"WS_EX_TOOLWINDOW"}, {WS_EX_WINDOWEDGE, u"WS_EX_WINDOWEDGE"},
      {WS_EX_CLIENTEDGE, u"WS_EX_CLIENTEDGE"}, {WS_EX_CONTROLPARENT, u"WS_EX_CONTROLPARENT"},
      {WS_EX_APPWINDOW, u"WS_EX_APPWINDOW"}, {WS_EX_LAYERED, u"WS_EX_LAYERED"}, {WS_EX_LAYOUTRTL, u"WS_EX_LAYOUTRTL"}};
  WideString r;
  auto add = [&](const char16_t* name) { r += (r.empty() ? u"" : u" ") + WideString(name); };
  // A caption is two bits; one of them alone is a different frame.
  if ((style & WS_CAPTION) == WS_CAPTION) add(u"WS_CAPTION");
  else if (style & WS_BORDER) add(u"WS_BORDER");
  else if (style & WS_DLGFRAME) add(u"WS_DLGFRAME");
  for (const Bit& b : styles)
    if (style & b.bit) add(b.name);
  for (const Bit& b : exStyles)
    if (ex & b.bit) add(b.name);
  return r;
}

void Dump(HWND top) {
  RECT client = {}, frame = {};
  ::GetClientRect(top, &client);
  ::GetWindowRect(top, &frame);
  const DWORD style = static_cast<DWORD>(::GetWindowLongW(top, GWL_STYLE));
  const DWORD ex = static_cast<DWORD>(::GetWindowLongW(top, GWL_EXSTYLE));
  wt::OutLine(u"title=" + Flat(TextOf(top)));
  wt::OutLine(u"class=" + ClassOf(top));
  wt::OutLine(u"pid=" + wt::ToWide(PidOf(top)));
  wt::OutLine(u"client=" + Int(client.right) + u"," + Int(client.bottom));
  wt::OutLine(u"rect=" + Int(frame.left) + u"," + Int(frame.top) + u"," + Int(frame.right - frame.left) + u"," +
              Int(frame.bottom - frame.top));
  wt::OutLine(u"style=" + wt::Hex(style) + u" " + StyleNames(style, ex));
  wt::OutLine(u"enabled=" + WideString(::IsWindowEnabled(top) ? u"1" : u"0"));
  wt::OutLine(u"visible=" + WideString(::IsWindowVisible(top) ? u"1" : u"0"));
  // The control with the keyboard focus in the window's thread.
  GUITHREADINFO gui = {};
  gui.cbSize = sizeof gui;
  const DWORD thread = ::GetWindowThreadProcessId(top, nullptr);
  const HWND focus = ::GetGUIThreadInfo(thread, &gui) ? gui.hwndFocus : nullptr;
  wt::OutLine(u"focus=" + (focus ? NameOf(focus) + u"|" + Flat(TextOf(focus)) : WideString()));
  HWND owner = ::GetWindow(top, GW_OWNER);
  wt::OutLine(u"owner=" + (owner ? wt::Hex(reinterpret_cast<uintptr_t>(owner)) : WideString(u"0")));
  for (HWND w : Descendants(top)) {
    const RECT r = ClientRelative(top, w);
    const RECT p = ClientRelative(::GetParent(w), w);
    DWORD_PTR checked = 0;
    if (SameText(ClassOf(w), u"Button"))
      ::SendMessageTimeoutW(w, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 2000, &checked);
    wt::OutLine(ClassOf(w) + u"|" + Flat(TextOf(w)) + u"|" + (::IsWindowVisible(w) ? u"1" : u"0") + u"|" +
                (::IsWindowEnabled(w) ? u"1" : u"0") + u"|" + Int(r.left) + u"," + Int(r.top) + u"," +
                Int(r.right - r.left) + u"," + Int(r.bottom - r.top) + u"|" + NameOf(w) + u"|" + Int(p.left) +
                u"," + Int(p.top) + u"|" + wt::ToWide(static_cast<unsigned long>(checked)));
  }
}

// Fields and lists hold what a person types or picks, not what the window
// says to them.
bool IsReadable(HWND w) {
  const WideString cls = ClassOf(w);
  static const char16_t* inputs[] = {u"Edit", u"ComboBox", u"ComboBoxEx32", u"ListBox", u"SysListView32",
                                     u"SysTreeView32", u"ScrollBar", u"msctls_updown32", u"msctls_progress32"};
  for (const char16_t* c : inputs)
    if (SameText(cls, c)) return false;
  return cls.rfind(u"RichEdit", 0) != 0 && cls.rfind(u"RICHEDIT", 0) != 0;
}

void Text(HWND top) {
  for (HWND w : Descendants(top)) {
    if (!::IsWindowVisible(w) || !IsReadable(w)) continue;
    WideString text = TextOf(w);
    // Buttons and labels show "&Yes" as an underlined "Yes"; a label with
    // SS_NOPREFIX shows the ampersand itself.
    const WideString cls = ClassOf(w);
    if (SameText(cls, u"Button") || (SameText(cls, u"Static") && !(::GetWindowLongW(w, GWL_STYLE) & SS_NOPREFIX)))
      text = WithoutMnemonics(text);
    if (text.empty()) continue;
    WideString lines;
    for (size_t i = 0; i < text.size(); ++i)
      if (!(text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')) lines += text[i];
    wt::OutLine(lines);
  }
}

void Foreground(HWND top) {
  if (::IsIconic(top)) ::ShowWindow(top, SW_RESTORE);
  Poll([&]() -> WideString {
        if (!::IsWindowEnabled(top)) return u"it is disabled (a modal window of its own is open?)";
        if (::GetForegroundWindow() == top) return WideString();
        ::SetForegroundWindow(top);
        return u"it does not come to the foreground";
      },
      u"window \"" + TextOf(top) + u"\"");
}

void Send(std::vector<INPUT>& input) {
  const UINT sent = ::SendInput(static_cast<UINT>(input.size()), input.data(), sizeof(INPUT));
  if (sent != input.size()) wt::FailLastError(u"SendInput");
}

// A move of the pointer to a point of the screen.
INPUT MouseMove(POINT pt) {
  const int vx = ::GetSystemMetrics(SM_XVIRTUALSCREEN), vy = ::GetSystemMetrics(SM_YVIRTUALSCREEN);
  const int vw = ::GetSystemMetrics(SM_CXVIRTUALSCREEN), vh = ::GetSystemMetrics(SM_CYVIRTUALSCREEN);
  INPUT move = {};
  move.type = INPUT_MOUSE;
  move.mi.dx = static_cast<LONG>((pt.x - vx) * 65535LL / (vw > 1 ? vw - 1 : 1));
  move.mi.dy = static_cast<LONG>((pt.y - vy) * 65535LL / (vh > 1 ? vh - 1 : 1));
  move.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_VIRTUALDESK;
  return move;
}

INPUT MouseButton(bool down) {
  INPUT in = {};
  in.type = INPUT_MOUSE;
  in.mi.dwFlags = down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP;
  return in;
}

// The middle of a control, checked to lie on the screen and to be what a
// pointer there would hit.
POINT Target(HWND top, HWND control, const WideString& caption) {
  RECT r = {};
  ::GetWindowRect(control, &r);
  POINT pt = {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  const int vx = ::GetSystemMetrics(SM_XVIRTUALSCREEN), vy = ::GetSystemMetrics(SM_YVIRTUALSCREEN);
  const int vw = ::GetSystemMetrics(SM_CXVIRTUALSCREEN), vh = ::GetSystemMetrics(SM_CYVIRTUALSCREEN);
  if (pt.x < vx || pt.y < vy || pt.x >= vx + vw || pt.y >= vy + vh)
    throw EOSError(u"\"" + caption + u"\" lies off the screen at " + Int(pt.x) + u"," + Int(pt.y));
  // A person cannot click a button that another window covers. Static
  // parts of the same window let the click through to their parent.
  HWND hit = ::WindowFromPoint(pt);
  if (!hit || ::GetAncestor(hit, GA_ROOT) != top)
    throw EOSError(u"\"" + caption + u"\" is covered by " + (hit ? ClassOf(hit) + u" \"" + TextOf(::GetAncestor(hit, GA_ROOT)) + u"\"" : WideString(u"nothing")));
  return pt;
}

void MouseClick(HWND top, HWND control, const WideString& caption) {
  const POINT pt = Target(top, control, caption);

  std::vector<INPUT> input{MouseMove(pt)};
  Send(input);
  // Skinned buttons light up on hover and press on the down stroke; a pause
  // lets them see the pointer arrive first, as they would with a hand.
  ::Sleep(50);
  input = {MouseButton(true)};
  Send(input);
  ::Sleep(50);
  input = {MouseButton(false)};
  Send(input);
}

// Press on the control, move the pointer by dx, dy in steps as a hand
// would, release.
void MouseDrag(HWND top, HWND control, const WideString& caption, int dx, int dy) {
  const POINT from = Target(top, control, caption);
  std::vector<INPUT> input{MouseMove(from)};
  Send(input);
  ::Sleep(50);
  input = {MouseButton(true)};
  Send(input);
  ::Sleep(100);
  const int steps = 10;
  for (int i = 1; i <= steps; ++i) {
    input = {MouseMove(POINT{from.x + dx * i / steps, from.y + dy * i / steps})};
    Send(input);
    ::Sleep(30);
  }
  ::Sleep(100);
  input = {MouseButton(false)};
  Send(input);
  ::Sleep(100);
}

HWND FindControl(HWND top, const WideString& caption) {
  HWND control = nullptr;
  Poll([&]() -> WideString {
        control = nullptr;
        bool seen = false;
        for (HWND w : Descendants(top)) {
          if (!ControlMatches(w, caption)) continue;
          seen = true;
          // A posted click needs only a visible control.
          if (opt.message ? ::IsWindowVisible(w) != FALSE : Usable(w)) { control = w; return WideString(); }
        }
        return seen ? u"it is hidden or disabled" : u"not found";
      },
      u"control \"" + caption + u"\" in \"" + TextOf(top) + u"\"");
  return control;
}

void Click(HWND top, const WideString& caption) {
  HWND control = FindControl(top, caption);
  if (opt.message) {
    // Posted, not sent through the input queue: it reaches the control
    // also while its window is disabled by a modal one.
    if (SameText(ClassOf(control), u"Button")) {
      if (!::PostMessageW(control, BM_CLICK, 0, 0)) wt::FailLastError(u"PostMessage BM_CLICK");
      return;
    }
    RECT r = {};
    ::GetClientRect(control, &r);
    const LPARAM at = MAKELPARAM(r.right / 2, r.bottom / 2);
    if (!::PostMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, at) || !::PostMessageW(control, WM_LBUTTONUP, 0, at))
      wt::FailLastError(u"PostMessage WM_LBUTTONDOWN/UP");
    return;
  }
  Foreground(top);
  MouseClick(top, control, caption);
}

struct KeyName { const char16_t* name; WORD vk; };
const KeyName keyNames[] = {
    {u"Enter", VK_RETURN}, {u"Return", VK_RETURN}, {u"Esc", VK_ESCAPE}, {u"Escape", VK_ESCAPE},
    {u"Tab", VK_TAB}, {u"Space", VK_SPACE}, {u"Backspace", VK_BACK}, {u"Delete", VK_DELETE},
    {u"Home", VK_HOME}, {u"End", VK_END}, {u"Left", VK_LEFT}, {u"Right", VK_RIGHT}, {u"Up", VK_UP},
    {u"Down", VK_DOWN}, {u"PageUp", VK_PRIOR}, {u"PageDown", VK_NEXT}};

WORD VirtualKey(const WideString& name) {
  for (const KeyName& k : keyNames)
    if (SameText(name, k.name)) return k.vk;
  if ((name.size() == 2 || name.size() == 3) && (name[0] == u'F' || name[0] == u'f')) {
    const int n = _wtoi(wt::W(name.substr(1)));
    if (n >= 1 && n <= 12) return static_cast<WORD>(VK_F1 + n - 1);
  }
  if (name.size() == 1 && ((name[0] >= u'0' && name[0] <= u'9') || (name[0] >= u'A' && name[0] <= u'Z')))
    return name[0];
  if (name.size() == 1 && name[0] >= u'a' && name[0] <= u'z') return static_cast<WORD>(name[0] - u'a' + u'A');
  throw EOSError(u"unknown key \"" + name + u"\"");
}

INPUT KeyInput(WORD vk, bool up) {
  INPUT in = {};
  in.type = INPUT_KEYBOARD;
  in.ki.wVk = vk;
  in.ki.wScan = static_cast<WORD>(::MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
  in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  return in;
}

// "Alt+F4", "Shift+Tab", "Enter": modifiers down, the key, modifiers up.
void Key(HWND top, const WideString& keys) {
  std::vector<WORD> modifiers;
  WideString rest = keys;
  for (size_t plus; (plus = rest.find(u'+')) != WideString::npos && plus + 1 < rest.size();) {
    const WideString mod = rest.substr(0, plus);
    if (SameText(mod, u"Alt")) modifiers.push_back(VK_MENU);
    else if (SameText(mod, u"Ctrl") || SameText(mod, u"Control")) modifiers.push_back(VK_CONTROL);
    else if (SameText(mod, u"Shift")) modifiers.push_back(VK_SHIFT);
    else throw EOSError(u"unknown modifier \"" + mod + u"\" in \"" + keys + u"\"");
    rest = rest.substr(plus + 1);
  }
  const WORD vk = VirtualKey(rest);
  Foreground(top);
  std::vector<INPUT> input;
  for (WORD m : modifiers) input.push_back(KeyInput(m, false));
  input.push_back(KeyInput(vk, false));
  input.push_back(KeyInput(vk, true));
  for (auto m = modifiers.rbegin(); m != modifiers.rend(); ++m) input.push_back(KeyInput(*m, true));
  Send(input);
}

void SetText(HWND top, const WideString& cls, const WideString& text) {
  HWND control = nullptr;
  Poll([&]() -> WideString {
        // CLASS is a class name, or "@name" for a control of that name.
        for (HWND w : Descendants(top)) {
          const bool match = cls.size() > 1 && cls[0] == u'@' ? NameOf(w) == cls.substr(1) : SameText(ClassOf(w), cls);
          if (::IsWindowVisible(w) && match) { control = w; return WideString(); }
        }
        return u"no visible control of that class";
      },
      u"control of class " + cls + u" in \"" + TextOf(top) + u"\"");
  DWORD_PTR ok = 0;
  if (!::SendMessageTimeoutW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wt::W(text)), SMTO_ABORTIFHUNG, 5000,
                             &ok))
    wt::FailLastError(u"WM_SETTEXT to " + cls);
  if (!ok) throw EOSError(u"the " + cls + u" control refused WM_SETTEXT");
}

const char16_t* const usage =
    u"windriver [--title-contains] [--class NAME] [--pid N] [--timeout S] [--message] [--hidden] COMMAND ...\n"
    u"  wait TITLE | gone TITLE | dump TITLE | text TITLE | click TITLE CAPTION | key TITLE KEY\n"
    u"  drag TITLE CAPTION DX DY | settext TITLE CLASS TEXT | close TITLE | list";

}  // namespace

int wmain(int argc, wchar_t** argv) {
  return wt::Run("windriver", [&]() -> int {
    std::vector<WideString> words;
    bool optionsEnded = false;
    const auto args = wt::Args(argc, argv);
    for (size_t i = 0; i < args.size(); ++i) {
      const WideString& a = args[i];
      if (optionsEnded || a.rfind(u"--", 0) != 0) { words.push_back(a); continue; }
      if (a == u"--") optionsEnded = true;
      else if (a == u"--title-contains") opt.contains = true;
      else if (a == u"--hidden") opt.hidden = true;
      else if (a == u"--message") opt.message = true;
      else if (a == u"--class" && i + 1 < args.size()) opt.cls = args[++i];
      else if (a == u"--pid" && i + 1 < args.size()) opt.pid = static_cast<DWORD>(_wtoi(wt::W(args[++i])));
      else if (a == u"--timeout" && i + 1 < args.size())
        opt.timeoutMs = static_cast<DWORD>(_wtof(wt::W(args[++i])) * 1000);
      else throw wt::UsageError{usage};
    }
    if (words.empty()) throw wt::UsageError{usage};
    const WideString cmd = words[0];
    auto need = [&](size_t n) { if (words.size() != n + 1) throw wt::UsageError{usage}; };

    if (cmd == u"list") {
      need(0);
      for (HWND w : TopLevelWindows(opt.hidden)) wt::OutLine(ListLine(w));
      return 0;
    }
    if (cmd == u"gone") {
      need(1);
      Poll([&]() -> WideString { return FindTop(words[1]) ? u"still there" : WideString(); },
           u"window \"" + words[1] + u"\"");
      return 0;
    }
    if (words.size() < 2) throw wt::UsageError{usage};
    if (cmd == u"wait") {
      need(1);
      wt::OutLine(wt::Hex(reinterpret_cast<uintptr_t>(WaitTop(words[1]))));
    } else if (cmd == u"dump") {
      need(1);
      Dump(WaitTop(words[1]));
    } else if (cmd == u"text") {
      need(1);
      Text(WaitTop(words[1]));
    } else if (cmd == u"click") {
      need(2);
      Click(WaitTop(words[1]), words[2]);
    } else if (cmd == u"drag") {
      need(4);
      const HWND top = WaitTop(words[1]);
      const HWND control = FindControl(top, words[2]);
      Foreground(top);
      MouseDrag(top, control, words[2], _wtoi(wt::W(words[3])), _wtoi(wt::W(words[4])));
    } else if (cmd == u"key") {
      need(2);
      Key(WaitTop(words[1]), words[2]);
    } else if (cmd == u"settext") {
      need(3);
      SetText(WaitTop(words[1]), words[2], words[3]);
    } else if (cmd == u"close") {
      need(1);
      if (!::PostMessageW(WaitTop(words[1]), WM_CLOSE, 0, 0)) wt::FailLastError(u"PostMessage WM_CLOSE");
    } else {
      throw wt::UsageError{usage};
    }
    return 0;
  });
}
