// A product picture for a project that has none yet (setupkit init): a
// square in the product's colour with the title's first letter on it, so
// that the installer's window shows something that is the product's own
// until the publisher draws a better one.
#pragma once

#include <cstdint>
#include <string>

#include "QvTypes.h"

// The PNG file's bytes: 64 x 64 pixels in color (a COLORREF, 0x00BBGGRR)
// with the first letter or digit of title in white; a title that starts
// with neither (a Chinese title, say) gets a white ring instead.
std::string ProductPicturePng(const WideString& title, uint32_t color);
