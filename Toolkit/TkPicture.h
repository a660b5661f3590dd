// Pictures through GDI+: a PNG decoded from its bytes, drawn scaled with
// high-quality bicubic interpolation. The picture keeps its own copy of
// the bytes, so it stays valid after the caller's buffer is gone.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

class TTkPicture {
public:
  // Decodes the bytes (PNG, or any format GDI+ reads). Raises Exception
  // naming the problem when they do not decode.
  static std::shared_ptr<TTkPicture> FromBytes(const std::string& bytes);
  ~TTkPicture();
  TTkPicture(const TTkPicture&) = delete;
  TTkPicture& operator=(const TTkPicture&) = delete;

  int Width() const;
  int Height() const;
  // True when the bytes are a PNG file (its eight-byte signature).
  bool IsPng() const;
  // The bytes the picture was made from.
  const std::string& Bytes() const { return FBytes; }
  // Draws the whole picture into the rectangle (floating-point, nothing
  // rounded) with InterpolationModeHighQualityBicubic.
  void Draw(HDC dc, float x, float y, float width, float height) const;

private:
  TTkPicture() = default;
  std::string FBytes;
  void* FImage = nullptr;  // GpImage*
};
