// Helpers that the toolkit's own units share: owners for GDI handles, the
// text conversion at the Win32 call, the window classes and GDI+ start-up.
// Not for users of the toolkit.
#pragma once

#include <windows.h>

#include "QvTypes.h"
#include "QvWinApi.h"

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

// The window classes of custom controls and of forms.
extern const wchar_t* const ControlClassName;
extern const wchar_t* const FormClassName;
// Starts GDI+ once for the process; pictures need it.
void StartGdiplus();

}  // namespace tk
