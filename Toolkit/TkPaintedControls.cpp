// The controls that the toolkit paints itself: panel, label, progress bar,
// paint box, image and bevel. Each paints into the memory bitmap that the
// window base hands it, so nothing flickers.
#include <algorithm>

#include "QvSysUtils.h"
#include "TkControls.h"
#include "TkGdi.h"
#include "TkSkin.h"

using tk::W;

namespace {

void FillSolid(HDC dc, const RECT& r, COLORREF color) {
  tk::TGdiObject brush(::CreateSolidBrush(color));
  if (brush) ::FillRect(dc, &r, static_cast<HBRUSH>(brush.Get()));
}

}  // namespace

// ---- panel

TTkPanel::TTkPanel(TTkControl* parent) : TTkControl(parent) {
  CreateHandle(nullptr, WS_CLIPCHILDREN, WS_EX_CONTROLPARENT, parent ? parent->Handle() : nullptr);
  SetBounds(0, 0, 185, 41);
}

// The border is the window's own one-pixel frame, outside the client area,
// so that aligned children stay inside it.
void TTkPanel::SetSingleBorder(bool border) {
  if (!Handle()) return;
  LONG_PTR style = ::GetWindowLongPtrW(Handle(), GWL_STYLE);
  style = border ? (style | WS_BORDER) : (style & ~static_cast<LONG_PTR>(WS_BORDER));
  ::SetWindowLongPtrW(Handle(), GWL_STYLE, style);
  ::SetWindowPos(Handle(), nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  AlignControls();
  Invalidate();
}

// ---- label

TTkLabel::TTkLabel(TTkControl* parent) : TTkControl(parent) {
  CreateHandle(nullptr, 0, 0, parent ? parent->Handle() : nullptr);
  SetBounds(0, 0, 65, 17);
}

// No prefix characters: an ampersand in a product name is shown as it is.
UINT TTkLabel::TextFormat() const {
  UINT format = DT_NOPREFIX | DT_EXPANDTABS;
  switch (FAlignment) {
    case TTextAlign::taCenter: format |= DT_CENTER; break;
    case TTextAlign::taRight: format |= DT_RIGHT; break;
    default: format |= DT_LEFT; break;
  }
  if (FWordWrap) format |= DT_WORDBREAK;
  return format;
}

void TTkLabel::Paint(HDC dc, const RECT& client) {
  ::FillRect(dc, &client, BackgroundBrush());
  tk::TSelection font(dc, FontHandle());
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, Enabled() ? TextColor() : ::GetSysColor(COLOR_GRAYTEXT));
  const WideString& text = Caption();
  const UINT format = TextFormat();
  RECT r = client;
  // DT_VCENTER works on single lines only; the text's own height centres
  // any number of lines.
  if (FVerticalCenter) {
    RECT measure = client;
    ::DrawTextW(dc, W(text), static_cast<int>(text.size()), &measure, format | DT_CALCRECT);
    const int height = measure.bottom - measure.top;
    r.top = (client.bottom - height) / 2;
    r.bottom = r.top + height;
  }
  ::DrawTextW(dc, W(text), static_cast<int>(text.size()), &r, format);
}

void TTkLabel::AdjustSize() {
  if (!FAutoSize || !Handle()) return;
  tk::TWindowDC dc(Handle());
  if (!dc.Get()) return;
  tk::TSelection font(dc.Get(), FontHandle());
  // An empty label keeps the height of one line.
  const WideString text = Caption().empty() ? WideString(u" ") : Caption();
  RECT r = {0, 0, FWordWrap ? std::max(Width(), 1) : 0, 0};
  ::DrawTextW(dc.Get(), W(text), static_cast<int>(text.size()), &r, TextFormat() | DT_CALCRECT);
  SetBounds(Left(), Top(), FWordWrap ? Width() : r.right - r.left + tk::TextSlack(r.right - r.left), r.bottom - r.top);
}

void TTkLabel::SetCaption(const WideString& caption) {
  TTkControl::SetCaption(caption);
  AdjustSize();
}

void TTkLabel::SetFont(const TTkFont& font) {
  TTkControl::SetFont(font);
  AdjustSize();
}

void TTkLabel::SetAlignment(TTextAlign align) {
  FAlignment = align;
  Invalidate();
}

void TTkLabel::SetVerticalCenter(bool center) {
  FVerticalCenter = center;
  Invalidate();
}

void TTkLabel::SetWordWrap(bool wrap) {
  FWordWrap = wrap;
  AdjustSize();
  Invalidate();
}

void TTkLabel::SetAutoSize(bool autoSize) {
  FAutoSize = autoSize;
  AdjustSize();
}

// ---- progress bar

TTkProgressBar::TTkProgressBar(TTkControl* parent) : TTkControl(parent) {
  CreateHandle(nullptr, 0, 0, parent ? parent->Handle() : nullptr);
  SetBounds(0, 0, 150, 17);
  TTkFont font = Font();
  font.Name = u"Tahoma";
  font.Height = 11;
  font.Bold = true;
  SetFont(font);
}

// Halves go to the even neighbour: 12.5 shows 12, 37.5 shows 38.
int TTkProgressBar::Percent(int position, int min, int max) {
  if (position <= min || max <= min) return 0;
  const int64_t numerator = static_cast<int64_t>(position) * 100;
  const int64_t denominator = static_cast<int64_t>(max) - min;
  int64_t quotient = numerator / denominator;
  const int64_t twice = (numerator % denominator) * 2;
  if (twice > denominator || (twice == denominator && (quotient & 1) != 0)) ++quotient;
  return static_cast<int>(quotient);
}

WideString TTkProgressBar::PercentText() const { return IntToStr(Percent(FPosition, 0, FMax)) + u"%"; }

void TTkProgressBar::SetPosition(int position) {
  position = std::clamp(position, 0, std::max(FMax, 0));
  if (position == FPosition) return;
  FPosition = position;
  Invalidate();
}

void TTkProgressBar::SetMax(int max) {
  FMax = max;
  FPosition = std::clamp(FPosition, 0, std::max(FMax, 0));
  Invalidate();
}

void TTkProgressBar::Paint(HDC dc, const RECT& client) {
  const int width = std::max<int>(client.right - client.left, 0);
  const int filled = FMax > 0 ? static_cast<int>(static_cast<int64_t>(width) * FPosition / FMax) : 0;
  tkskin::PaintProgress(dc, client, filled, PercentText(), FontHandle());
}

// ---- paint box

TTkPaintBox::TTkPaintBox(TTkControl* parent) : TTkControl(parent) {
  CreateHandle(nullptr, 0, 0, parent ? parent->Handle() : nullptr);
  SetBounds(0, 0, 105, 105);
}

void TTkPaintBox::Paint(HDC dc, const RECT& client) {
  TTkControl::Paint(dc, client);
  if (OnPaint) {
    tk::TSavedDC saved(dc);
    OnPaint(dc, client);
  }
}

// ---- image

TTkImage::TTkImage(TTkControl* parent) : TTkControl(parent) {
  CreateHandle(nullptr, 0, 0, parent ? parent->Handle() : nullptr);
  SetBounds(0, 0, 105, 105);
}

void TTkImage::SetPicture(std::shared_ptr<TTkPicture> picture) {
  FPicture = std::move(picture);
  Invalidate();
}

void TTkImage::Paint(HDC dc, const RECT& client) {
  TTkControl::Paint(dc, client);
  if (!FPicture) return;
  const float pictureWidth = static_cast<float>(FPicture->Width());
  const float pictureHeight = static_cast<float>(FPicture->Height());
  if (pictureWidth <= 0 || pictureHeight <= 0) return;
  const float boxWidth = static_cast<float>(client.right);
  const float boxHeight = static_cast<float>(client.bottom);
  // Larger pictures shrink to fit, keeping their proportions; smaller ones
  // keep their size.
  const float scale = std::min({1.0f, boxWidth / pictureWidth, boxHeight / pictureHeight});
  const float width = pictureWidth * scale;
  const float height = pictureHeight * scale;
  FPicture->Draw(dc, (boxWidth - width) / 2, (boxHeight - height) / 2, width, height);
}

// ---- bevel

TTkBevel::TTkBevel(TTkControl* parent) : TTkControl(parent) {
  CreateHandle(nullptr, 0, 0, parent ? parent->Handle() : nullptr);
  SetBounds(0, 0, 50, 2);
}

// A sunken line: shadow above, highlight below.
void TTkBevel::Paint(HDC dc, const RECT& client) {
  TTkControl::Paint(dc, client);
  RECT line = {client.left, client.top, client.right, std::min<LONG>(client.top + 1, client.bottom)};
  FillSolid(dc, line, ::GetSysColor(COLOR_BTNSHADOW));
  line.top = line.bottom;
  line.bottom = std::min<LONG>(line.top + 1, client.bottom);
  if (line.bottom > line.top) FillSolid(dc, line, ::GetSysColor(COLOR_BTNHIGHLIGHT));
}
