// Helpers that the toolkit's own units share: owners for GDI handles, the
// text conversion at the Win32 call, the window classes and GDI+ start-up.
// Not for users of the toolkit.
#pragma once

#include <windows.h>

#include "QvTypes.h"
#include "QvWinApi.h"
#include "TkControl.h"

namespace tk {

using ::W;

// Owns a GDI object (brush, font, bitmap, pen) and deletes it.
class TGdiObject {
public:
  explicit TGdiObject(HGDIOBJ object = nullptr) : FObject(object) {}
  ~TGdiObject() { if (FObject) ::DeleteObject(FObject); }
  TGdiObject(const TGdiObject&) = delete;
  TGdiObject& operator=(const TGdiObject&) = delete;
  HGDIOBJ Get() const { return FObject; }
  explicit operator bool() const { return FObject != nullptr; }

private:
  HGDIOBJ FObject;
};

// Selects an object into a device context for a scope.
class TSelection {
public:
  TSelection(HDC dc, HGDIOBJ object) : FDC(dc), FOld(object ? ::SelectObject(dc, object) : nullptr) {}
  ~TSelection() { if (FOld) ::SelectObject(FDC, FOld); }
  TSelection(const TSelection&) = delete;
  TSelection& operator=(const TSelection&) = delete;

private:
  HDC FDC;
  HGDIOBJ FOld;
};

// The device context of a window's client area (GetDC / ReleaseDC).
class TWindowDC {
public:
  explicit TWindowDC(HWND wnd) : FWnd(wnd), FDC(::GetDC(wnd)) {}
  ~TWindowDC() { if (FDC) ::ReleaseDC(FWnd, FDC); }
  TWindowDC(const TWindowDC&) = delete;
  TWindowDC& operator=(const TWindowDC&) = delete;
  HDC Get() const { return FDC; }

private:
  HWND FWnd;
  HDC FDC;
};

// A memory device context (CreateCompatibleDC / DeleteDC).
class TMemoryDC {
public:
  explicit TMemoryDC(HDC compatible) : FDC(::CreateCompatibleDC(compatible)) {}
  ~TMemoryDC() { if (FDC) ::DeleteDC(FDC); }
  TMemoryDC(const TMemoryDC&) = delete;
  TMemoryDC& operator=(const TMemoryDC&) = delete;
  HDC Get() const { return FDC; }

private:
  HDC FDC;
};

// Saves a device context's state (clip region, colours) for a scope.
class TSavedDC {
public:
  explicit TSavedDC(HDC dc) : FDC(dc), FState(::SaveDC(dc)) {}
  ~TSavedDC() { if (FState) ::RestoreDC(FDC, FState); }
  TSavedDC(const TSavedDC&) = delete;
  TSavedDC& operator=(const TSavedDC&) = delete;

private:
  HDC FDC;
  int FState;
};

// The bitmap of a double buffer: a 32-bit device-independent section,
// where GDI+ blends pictures and anti-aliased strokes exactly.
inline HBITMAP CreateBufferBitmap(HDC dc, int width, int height) {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = ::CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  return bitmap ? bitmap : ::CreateCompatibleBitmap(dc, width, height);
}

// Room added to text that sizes a control to itself. Some renderers lay a
// line out a few pixels wider than the font's metrics say (seen with
// substituted faces), and the last letter of a label sized to the exact
// extent is cut off; the slack grows with the text's length.
inline int TextSlack(int width) { return 2 + width / 64; }

// Fonts. CreateFontFor makes the font with another face; FontShows tells
// whether a font has a glyph for every character of the text;
// CreateFontShowing makes the font as described, or, when its face lacks
// glyphs of the text, the same size and style in an installed face that
// has them (the Chinese faces, best first).
HFONT CreateFontFor(const TTkFont& font, const WideString& face);
bool FontShows(HFONT font, const WideString& text);
HFONT CreateFontShowing(const TTkFont& font, const WideString& text);

// The window classes of custom controls and of forms.
extern const wchar_t* const ControlClassName;
extern const wchar_t* const FormClassName;
// Windowless: controls keep their state but make no windows, for a
// program that runs unattended and shows nothing (set before the first
// control is made).
void SetHeadless(bool headless);
bool Headless();
// Starts GDI+ once for the process; pictures need it.
void StartGdiplus();

}  // namespace tk
