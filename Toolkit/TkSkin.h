// The skin "Athen": one flat look for everything the toolkit draws itself
// that a person presses or watches (buttons, check boxes and radio
// buttons, the progress bar). Plain rectangles, one-pixel borders, and one
// accent colour, which the program sets to its own (the installer uses the
// product's colour), so that the controls belong to the window they are on.
#pragma once

#include <windows.h>

#include "QvTypes.h"

namespace tkskin {

// State bits of a control as the skin draws it.
enum : unsigned {
  stHot = 1,       // the mouse is over it
  stPressed = 2,   // held down
  stDisabled = 4,
  stFocused = 8,   // has the keyboard focus
  stDefault = 16,  // the button Enter presses
  stChecked = 32,
};

// The accent colour (default: a calm blue). Set it before the first window
// is shown; windows already on the screen pick it up on their next paint.
void SetAccent(COLORREF color);
COLORREF Accent();

// Colour arithmetic of the skin, also for callers that draw next to it.
COLORREF Blend(COLORREF from, COLORREF to, int percentOfTo);
// True for colours on which white text reads better than black.
bool IsDark(COLORREF color);

// A push button in rect. back is the colour around it: on a dark
// background the button turns light; the default button is filled with
// the accent colour; others are white with a grey frame.
void PaintButton(HDC dc, const RECT& rect, const WideString& caption, HFONT font, unsigned state, COLORREF back);

// A check box (or, with radio, a radio button): the box at the left,
// vertically centred, the caption after it. Width of box and gap:
constexpr int CheckBoxSize = 13;
constexpr int CheckBoxGap = 5;
void PaintCheckBox(HDC dc, const RECT& rect, const WideString& caption, HFONT font, COLORREF textColor,
                   unsigned state, COLORREF back, bool radio);

// The progress bar: a light track, the accent fill over the first
// filledPixels, and text centred on it in white over the fill and dark
// over the track.
void PaintProgress(HDC dc, const RECT& rect, int filledPixels, const WideString& text, HFONT font);

}  // namespace tkskin
