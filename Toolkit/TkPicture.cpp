// Pictures through the flat GDI+ interface: decoded from the picture's own
// copy of its bytes, drawn with high-quality bicubic interpolation.
#include "TkPicture.h"

#include <objidl.h>
#include <shlwapi.h>
#include <gdiplus.h>

#include <cstring>

#include "QvExceptions.h"
#include "QvSysUtils.h"
#include "TkGdi.h"

namespace gp = Gdiplus::DllExports;

namespace {

WideString StatusText(Gdiplus::Status status) {
  switch (status) {
    case Gdiplus::InvalidParameter: return u"the data is not a picture GDI+ can read";
    case Gdiplus::OutOfMemory: return u"out of memory";
    case Gdiplus::UnknownImageFormat: return u"unknown picture format";
    case Gdiplus::GdiplusNotInitialized: return u"GDI+ is not started";
    default: return u"GDI+ status " + IntToStr(static_cast<int>(status));
  }
}

struct TGraphicsDeleter {
  void operator()(Gdiplus::GpGraphics* graphics) const { gp::GdipDeleteGraphics(graphics); }
};

struct TAttributesDeleter {
  void operator()(Gdiplus::GpImageAttributes* attributes) const { gp::GdipDisposeImageAttributes(attributes); }
};

struct TStreamReleaser {
  void operator()(IStream* stream) const { stream->Release(); }
};

Gdiplus::GpImage* AsImage(void* image) { return static_cast<Gdiplus::GpImage*>(image); }

}  // namespace

// GDI+ stays up until the process ends: pictures may be released during
// the static clean-up, in an order nobody controls.
void tk::StartGdiplus() {
  static const bool started = [] {
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    return Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok;
  }();
  (void)started;
}

std::shared_ptr<TTkPicture> TTkPicture::FromBytes(const std::string& bytes) {
  if (bytes.empty()) throw Exception(u"Cannot decode the picture: it is empty");
  std::shared_ptr<TTkPicture> picture(new TTkPicture());
  picture->FBytes = bytes;
  // A windowless program draws nothing: the bytes are all it keeps, and
  // GDI+ is not even started.
  if (tk::Headless()) return picture;
  tk::StartGdiplus();
  // The decoder may read the stream again later (GDI+ decodes lazily); the
  // stream holds its own copy and the bitmap keeps a reference to it, so
  // the caller's buffer may go at once.
  std::unique_ptr<IStream, TStreamReleaser> stream(::SHCreateMemStream(
      reinterpret_cast<const BYTE*>(picture->FBytes.data()), static_cast<UINT>(picture->FBytes.size())));
  if (!stream) throw Exception(u"Cannot decode the picture: no memory for its stream");
  Gdiplus::GpBitmap* bitmap = nullptr;
  const Gdiplus::Status status = gp::GdipCreateBitmapFromStream(stream.get(), &bitmap);
  if (status != Gdiplus::Ok || !bitmap) throw Exception(u"Cannot decode the picture: " + StatusText(status));
  picture->FImage = bitmap;
  return picture;
}

TTkPicture::~TTkPicture() {
  if (FImage) gp::GdipDisposeImage(AsImage(FImage));
}

int TTkPicture::Width() const {
  UINT width = 0;
  if (FImage) gp::GdipGetImageWidth(AsImage(FImage), &width);
  return static_cast<int>(width);
}

int TTkPicture::Height() const {
  UINT height = 0;
  if (FImage) gp::GdipGetImageHeight(AsImage(FImage), &height);
  return static_cast<int>(height);
}

bool TTkPicture::IsPng() const {
  static const char signature[8] = {'\x89', 'P', 'N', 'G', '\r', '\n', '\x1a', '\n'};
  return FBytes.size() >= sizeof signature && std::memcmp(FBytes.data(), signature, sizeof signature) == 0;
}

void TTkPicture::Draw(HDC dc, float x, float y, float width, float height) const {
  if (!FImage || width <= 0 || height <= 0) return;
  Gdiplus::GpGraphics* raw = nullptr;
  if (gp::GdipCreateFromHDC(dc, &raw) != Gdiplus::Ok || !raw) return;
  std::unique_ptr<Gdiplus::GpGraphics, TGraphicsDeleter> graphics(raw);
  gp::GdipSetInterpolationMode(graphics.get(), Gdiplus::InterpolationModeHighQualityBicubic);
  // Bicubic filtering samples beyond the last row and column; mirrored
  // tiling gives it the edge pixels there, where the default clamps to
  // transparency and an enlarged picture fades at its right and bottom.
  Gdiplus::GpImageAttributes* rawAttributes = nullptr;
  gp::GdipCreateImageAttributes(&rawAttributes);
  std::unique_ptr<Gdiplus::GpImageAttributes, TAttributesDeleter> attributes(rawAttributes);
  if (attributes) gp::GdipSetImageAttributesWrapMode(attributes.get(), Gdiplus::WrapModeTileFlipXY, 0, FALSE);
  gp::GdipDrawImageRectRect(graphics.get(), AsImage(FImage), x, y, width, height, 0, 0,
                            static_cast<Gdiplus::REAL>(Width()), static_cast<Gdiplus::REAL>(Height()),
                            Gdiplus::UnitPixel, attributes.get(), nullptr, nullptr);
}
