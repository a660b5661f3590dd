// The window layer of the installer: one base class that owns a window
// handle and its window procedure, hands the messages of the system to
// virtual handlers, and owns its child controls. Every window of the
// installer is built from these classes; none creates a raw window itself.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <memory>
#include <vector>

#include "QvTypes.h"

using TNotifyEvent = std::function<void()>;
// Button: 0 left, 1 right, 2 middle; x and y in the control's client area.
using TMouseEvent = std::function<void(int button, int x, int y)>;
using TPaintEvent = std::function<void(HDC dc, const RECT& client)>;

// How a control places itself in its parent's client area when the parent
// lays out its children (in creation order, as the toolkit form does).
enum class TAlign { alNone, alTop, alBottom, alClient };
enum class TTextAlign { taLeft, taCenter, taRight };

// Screen cursors by the toolkit's numbers.
enum TCursor : int { crDefault = 0, crArrow = -2, crHourGlass = -11, crHandPoint = -21 };
// The system cursor shown for a toolkit cursor (the arrow for crDefault);
// crHandPoint is the system's own hand pointer.
HCURSOR TkCursorHandle(TCursor cursor);

// A font description; the height is the character height in pixels (the
// form is not scaled for the screen's DPI).
struct TTkFont {
  WideString Name = u"Tahoma";
  int Height = 12;
  bool Bold = false;
  bool Underline = false;
  COLORREF Color = CLR_DEFAULT;  // CLR_DEFAULT: the window-text colour

  static TTkFont Of(const char16_t* name, int height, COLORREF color = CLR_DEFAULT) {
    TTkFont font;
    font.Name = name;
    font.Height = height;
    font.Color = color;
    return font;
  }
};

class TTkControl {
public:
  // The control is created with its window at once; parent (when given)
  // owns it and destroys it with itself. A null parent is for top-level
  // windows (forms).
  explicit TTkControl(TTkControl* parent);
  virtual ~TTkControl();
  TTkControl(const TTkControl&) = delete;
  TTkControl& operator=(const TTkControl&) = delete;

  HWND Handle() const { return FHandle; }
  TTkControl* Parent() const { return FParent; }
  // The form (top-level control) this control belongs to.
  TTkControl* TopLevel();
  const std::vector<TTkControl*>& Controls() const { return FChildren; }
  // The control object of a window handle, or null for foreign windows.
  static TTkControl* FromHandle(HWND wnd);
  // Registers a window class of the toolkit's own once: its window
  // procedure, no background brush (the controls paint everything); forms
  // get the program's icon.
  static void RegisterWindowClass(const wchar_t* name, bool form);

  // Name for tests and error texts ("btnInstall"); not shown. Other
  // processes read it by sending NameQueryMessage(): the result is a
  // global atom holding the name (0 for a control without one).
  WideString Name;
  static UINT NameQueryMessage();

  int Left() const { return FLeft; }
  int Top() const { return FTop; }
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  void SetLeft(int v) { SetBounds(v, FTop, FWidth, FHeight); }
  void SetTop(int v) { SetBounds(FLeft, v, FWidth, FHeight); }
  void SetWidth(int v) { SetBounds(FLeft, FTop, v, FHeight); }
  void SetHeight(int v) { SetBounds(FLeft, FTop, FWidth, v); }
  virtual void SetBounds(int left, int top, int width, int height);
  int ClientWidth() const;
  int ClientHeight() const;

  TAlign Align() const { return FAlign; }
  void SetAlign(TAlign align);
  // Inner border that aligned children keep from the edges.
  void SetBorderWidth(int pixels);

  bool Visible() const { return FVisible; }
  virtual void SetVisible(bool visible);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  bool Enabled() const;
  void SetEnabled(bool enabled);

  const WideString& Caption() const { return FCaption; }
  virtual void SetCaption(const WideString& caption);

  const TTkFont& Font() const { return FFont; }
  virtual void SetFont(const TTkFont& font);
  // Background colour; CLR_DEFAULT inherits the parent's (the button face
  // for forms).
  COLORREF Color() const;
  void SetColor(COLORREF color);
  void SetCursor(TCursor cursor) { FCursor = cursor; }
  // Position among the parent's controls when Tab moves the focus; the
  // creation order until set.
  void SetTabOrder(int order);
  void SetTabStop(bool stop);
  // Custom controls paint through a memory bitmap while this is on (the
  // default), so that nothing flickers.
  bool DoubleBuffered() const { return FDoubleBuffered; }
  void SetDoubleBuffered(bool on) { FDoubleBuffered = on; }

  void Invalidate();
  // Invalidate and paint at once, without waiting for the message loop.
  void Repaint();
  void SetFocus();
  bool Focused() const;

  TNotifyEvent OnClick;
  TMouseEvent OnMouseDown;

protected:
  // For system classes ("BUTTON", "EDIT", ...): the control subclasses it.
  // Custom controls pass a null class and get the toolkit's own class.
  void CreateHandle(const wchar_t* className, DWORD style, DWORD exStyle, HWND parentWnd);
  virtual LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT DefaultProc(UINT msg, WPARAM wParam, LPARAM lParam);
  // Painting of custom controls, into a double buffer.
  virtual void Paint(HDC dc, const RECT& client);
  virtual void Click();
  // A WM_COMMAND or WM_NOTIFY that the parent hands back to its source.
  virtual bool Reflected(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);
  // The brush and colours a system control asks its parent for.
  virtual HBRUSH CtlColor(HDC dc);
  void AlignControls();
  // The visible and enabled tab stops of root's subtree, in tab order.
  static void CollectTabStops(const TTkControl* root, std::vector<TTkControl*>& out);
  // True for the toolkit's own window classes (painted by Paint).
  bool IsCustom() const { return FCustom; }
  HFONT FontHandle() const { return FFontHandle; }
  // Text shown besides the caption (a list's items): the font is chosen so
  // that it has their glyphs.
  void NoteShownText(const WideString& text);
  COLORREF TextColor() const;
  HBRUSH BackgroundBrush();

  HWND FHandle = nullptr;

private:
  static LRESULT CALLBACK StaticWndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT Dispatch(UINT msg, WPARAM wParam, LPARAM lParam);
  void Detach();
  void ApplyFont();
  void PaintWindow();
  void PaintInto(HDC dc);
  void MouseDown(int button, LPARAM lParam);
  void ApplyBounds(int left, int top, int width, int height);
  void SyncBounds();

  TTkControl* FParent;
  std::vector<TTkControl*> FChildren;  // owned; destroyed last to first
  std::vector<TTkControl*> FTabList;   // the same controls in tab order
  WNDPROC FSystemProc = nullptr;
  int FLeft = 0, FTop = 0, FWidth = 0, FHeight = 0;
  int FBorderWidth = 0;
  TAlign FAlign = TAlign::alNone;
  bool FVisible = true;
  WideString FCaption;
  TTkFont FFont;
  HFONT FFontHandle = nullptr;
  WideString FShownText;  // text whose glyphs the font must have
  ATOM FNameAtom = 0;
  COLORREF FColor = CLR_DEFAULT;
  HBRUSH FBrush = nullptr;
  COLORREF FBrushColor = CLR_NONE;
  TCursor FCursor = crDefault;
  bool FCustom = false;
  bool FPressed = false;  // left button went down here (custom controls)
  bool FDoubleBuffered = true;
};
