// The skin "Athen". Rectangles and text through GDI; the check mark and the
// radio dot through GDI+, anti-aliased, since a jagged tick is what makes a
// flat skin look unfinished.
#include "TkSkin.h"

#include <objidl.h>
#include <gdiplus.h>

#include <algorithm>
#include <memory>

#include "TkGdi.h"

namespace gp = Gdiplus::DllExports;

namespace {

COLORREF GAccent = RGB(0, 120, 215);

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kText = RGB(38, 38, 38);
constexpr COLORREF kFrame = RGB(173, 173, 173);
constexpr COLORREF kDisabledFill = RGB(244, 244, 244);
constexpr COLORREF kDisabledFrame = RGB(214, 214, 214);
constexpr COLORREF kDisabledText = RGB(160, 160, 160);
constexpr COLORREF kTrack = RGB(230, 230, 230);

void Fill(HDC dc, const RECT& r, COLORREF color) {
  tk::TGdiObject brush(::CreateSolidBrush(color));
  if (brush && r.right > r.left && r.bottom > r.top) ::FillRect(dc, &r, static_cast<HBRUSH>(brush.Get()));
}

void Frame(HDC dc, RECT r, COLORREF color, int width = 1) {
  tk::TGdiObject brush(::CreateSolidBrush(color));
  if (!brush) return;
  for (int i = 0; i < width && r.right > r.left && r.bottom > r.top; ++i) {
    ::FrameRect(dc, &r, static_cast<HBRUSH>(brush.Get()));
    ::InflateRect(&r, -1, -1);
  }
}

void Text(HDC dc, RECT r, const WideString& text, HFONT font, COLORREF color, UINT format) {
  tk::TSelection selection(dc, font);
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, color);
  ::DrawTextW(dc, tk::W(text), static_cast<int>(text.size()), &r, format | DT_NOPREFIX);
}

Gdiplus::ARGB Argb(COLORREF c) {
  return 0xFF000000u | (static_cast<Gdiplus::ARGB>(GetRValue(c)) << 16) |
         (static_cast<Gdiplus::ARGB>(GetGValue(c)) << 8) | GetBValue(c);
}

struct TGraphicsDeleter {
  void operator()(Gdiplus::GpGraphics* g) const { gp::GdipDeleteGraphics(g); }
};
using TGraphics = std::unique_ptr<Gdiplus::GpGraphics, TGraphicsDeleter>;

TGraphics SmoothGraphics(HDC dc) {
  tk::StartGdiplus();
  Gdiplus::GpGraphics* raw = nullptr;
  if (gp::GdipCreateFromHDC(dc, &raw) != Gdiplus::Ok) raw = nullptr;
  TGraphics graphics(raw);
  if (graphics) {
    gp::GdipSetSmoothingMode(graphics.get(), Gdiplus::SmoothingModeAntiAlias);
    gp::GdipSetPixelOffsetMode(graphics.get(), Gdiplus::PixelOffsetModeHalf);
  }
  return graphics;
}

void DrawTick(HDC dc, const RECT& box, COLORREF color) {
  TGraphics g = SmoothGraphics(dc);
  if (!g) return;
  Gdiplus::GpPen* pen = nullptr;
  if (gp::GdipCreatePen1(Argb(color), 1.8f, Gdiplus::UnitPixel, &pen) != Gdiplus::Ok) return;
  gp::GdipSetPenLineJoin(pen, Gdiplus::LineJoinRound);
  const float x = static_cast<float>(box.left), y = static_cast<float>(box.top);
  const float s = static_cast<float>(box.right - box.left) / 13.0f;
  const Gdiplus::PointF points[] = {{x + 3.0f * s, y + 6.5f * s}, {x + 5.5f * s, y + 9.0f * s},
                                    {x + 10.0f * s, y + 4.0f * s}};
  gp::GdipDrawLines(g.get(), pen, points, 3);
  gp::GdipDeletePen(pen);
}

void DrawCircle(HDC dc, const RECT& box, COLORREF fill, COLORREF frame, float inset) {
  TGraphics g = SmoothGraphics(dc);
  if (!g) return;
  const float x = box.left + inset, y = box.top + inset;
  const float d = static_cast<float>(box.right - box.left) - 2 * inset;
  Gdiplus::GpSolidFill* brush = nullptr;
  if (gp::GdipCreateSolidFill(Argb(fill), &brush) == Gdiplus::Ok) {
    gp::GdipFillEllipse(g.get(), brush, x, y, d, d);
    gp::GdipDeleteBrush(brush);
  }
  if (frame == fill) return;
  Gdiplus::GpPen* pen = nullptr;
  if (gp::GdipCreatePen1(Argb(frame), 1.0f, Gdiplus::UnitPixel, &pen) == Gdiplus::Ok) {
    gp::GdipDrawEllipse(g.get(), pen, x, y, d - 1, d - 1);
    gp::GdipDeletePen(pen);
  }
}

}  // namespace

void tkskin::SetAccent(COLORREF color) { GAccent = color & 0xFFFFFF; }

COLORREF tkskin::Accent() { return GAccent; }

COLORREF tkskin::Blend(COLORREF from, COLORREF to, int percentOfTo) {
  const int p = std::clamp(percentOfTo, 0, 100);
  auto mix = [p](int a, int b) { return (a * (100 - p) + b * p + 50) / 100; };
  return RGB(mix(GetRValue(from), GetRValue(to)), mix(GetGValue(from), GetGValue(to)),
             mix(GetBValue(from), GetBValue(to)));
}

// Relative luminance in integer steps, weighted as the eye weighs red,
// green and blue.
bool tkskin::IsDark(COLORREF c) {
  return GetRValue(c) * 299 + GetGValue(c) * 587 + GetBValue(c) * 114 < 160 * 1000;
}

void tkskin::PaintButton(HDC dc, const RECT& rect, const WideString& caption, HFONT font, unsigned state,
                         COLORREF back) {
  const bool disabled = state & stDisabled;
  const bool pressed = (state & stPressed) && !disabled;
  const bool hot = (state & stHot) && !disabled;
  COLORREF fill, frame, text;
  if (IsDark(back)) {
    // On the product colour: a white button whose text takes that colour.
    fill = disabled ? Blend(kWhite, back, 40) : pressed ? Blend(kWhite, back, 22) : hot ? Blend(kWhite, back, 10) : kWhite;
    frame = fill;
    text = disabled ? Blend(back, kWhite, 45) : back;
  } else if (state & stDefault) {
    // The button Enter presses carries the accent.
    const COLORREF accent = GAccent;
    fill = disabled ? Blend(accent, kWhite, 55) : pressed ? Blend(accent, RGB(0, 0, 0), 18) : hot ? Blend(accent, kWhite, 14) : accent;
    frame = disabled ? fill : Blend(accent, RGB(0, 0, 0), 12);
    text = IsDark(accent) ? kWhite : kText;
    if (disabled) text = Blend(text, fill, 40);
  } else {
    fill = disabled ? kDisabledFill : pressed ? Blend(kWhite, GAccent, 24) : hot ? Blend(kWhite, GAccent, 10) : kWhite;
    frame = disabled ? kDisabledFrame : (hot || pressed) ? GAccent : kFrame;
    text = disabled ? kDisabledText : kText;
  }
  Fill(dc, rect, fill);
  Frame(dc, rect, frame);
  if ((state & stFocused) && !disabled) {
    // The keyboard focus: a second line inside the frame, in the text's
    // colour, so it shows on every kind of button.
    RECT inner = rect;
    ::InflateRect(&inner, -2, -2);
    Frame(dc, inner, Blend(fill, text, 70));
  }
  RECT r = rect;
  if (pressed) ::OffsetRect(&r, 0, 1);
  Text(dc, r, caption, font, text, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

void tkskin::PaintCheckBox(HDC dc, const RECT& rect, const WideString& caption, HFONT font, COLORREF textColor,
                           unsigned state, COLORREF back, bool radio) {
  Fill(dc, rect, back);
  const bool disabled = state & stDisabled;
  const bool checked = state & stChecked;
  const int top = rect.top + (rect.bottom - rect.top - CheckBoxSize) / 2;
  const RECT box = {rect.left, top, rect.left + CheckBoxSize, top + CheckBoxSize};
  const COLORREF accent = disabled ? kDisabledFrame : GAccent;
  const COLORREF frame = disabled ? kDisabledFrame : (checked || (state & (stHot | stPressed))) ? GAccent : RGB(133, 133, 133);
  const COLORREF inside = disabled ? kDisabledFill : (state & stPressed) ? Blend(kWhite, GAccent, 20) : kWhite;
  if (radio) {
    DrawCircle(dc, box, inside, frame, 0.0f);
    if (checked) DrawCircle(dc, box, accent, accent, 3.5f);
  } else {
    Fill(dc, box, checked ? accent : inside);
    Frame(dc, box, checked ? accent : frame);
    if (checked) DrawTick(dc, box, IsDark(accent) ? kWhite : kText);
  }
  RECT text = rect;
  text.left = box.right + CheckBoxGap;
  Text(dc, text, caption, font, disabled ? kDisabledText : textColor, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
  if ((state & stFocused) && !disabled) {
    RECT focus = text;
    tk::TSelection selection(dc, font);
    ::DrawTextW(dc, tk::W(caption), static_cast<int>(caption.size()), &focus,
                DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_CALCRECT);
    const int height = focus.bottom - focus.top;
    focus.top = rect.top + (rect.bottom - rect.top - height) / 2;
    focus.bottom = focus.top + height;
    ::InflateRect(&focus, 1, 0);
    focus.right = std::min(focus.right, rect.right);
    ::SetTextColor(dc, textColor);
    ::SetBkColor(dc, back);
    ::DrawFocusRect(dc, &focus);
  }
}

void tkskin::PaintProgress(HDC dc, const RECT& rect, int filledPixels, const WideString& text, HFONT font) {
  Fill(dc, rect, kTrack);
  RECT done = rect;
  done.right = std::min<LONG>(rect.left + std::max(filledPixels, 0), rect.right);
  Fill(dc, done, GAccent);
  RECT rest = rect;
  rest.left = done.right;
  // The text takes white over the fill and dark over the track, readable
  // wherever the edge of the fill cuts it.
  const std::pair<RECT, COLORREF> parts[] = {{done, IsDark(GAccent) ? kWhite : kText}, {rest, kText}};
  for (const auto& part : parts) {
    if (part.first.right <= part.first.left) continue;
    tk::TSavedDC saved(dc);
    ::IntersectClipRect(dc, part.first.left, part.first.top, part.first.right, part.first.bottom);
    Text(dc, rect, text, font, part.second, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  }
}
