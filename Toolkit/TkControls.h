// The controls of the installer's windows. Panels, labels, the progress
// bar, images, paint boxes and bevels are painted by the toolkit itself;
// buttons, the check box, edit fields, the memo and the combo box are the
// system's controls, whose events come back through their parent. Buttons
// and check boxes are the system's for keyboard and focus but drawn by the
// skin (TkSkin.h), like the progress bar.
#pragma once

#include <memory>

#include "TkControl.h"
#include "TkPicture.h"

// A plain area in its colour, optionally with a one-pixel border; the
// parent of other controls.
class TTkPanel : public TTkControl {
public:
  explicit TTkPanel(TTkControl* parent);
  void SetSingleBorder(bool border);
};

// Text painted on the parent's colour (or its own). AutoSize makes the
// label as large as its text; word wrap breaks lines at the width.
class TTkLabel : public TTkControl {
public:
  explicit TTkLabel(TTkControl* parent);
  void SetCaption(const WideString& caption) override;
  void SetFont(const TTkFont& font) override;
  void SetAlignment(TTextAlign align);
  void SetVerticalCenter(bool center);
  void SetWordWrap(bool wrap);
  void SetAutoSize(bool autoSize);

protected:
  void Paint(HDC dc, const RECT& client) override;

private:
  UINT TextFormat() const;
  void AdjustSize();
  TTextAlign FAlignment = TTextAlign::taLeft;
  bool FVerticalCenter = false;
  bool FWordWrap = false;
  bool FAutoSize = false;
};

class TTkButton : public TTkControl {
public:
  explicit TTkButton(TTkControl* parent);
  // Clicking a button with a modal result sets its form's modal result.
  int ModalResult = 0;
  // Presses the button as a click would (OnClick, then the modal result).
  void PerformClick();

protected:
  void Click() override;
  bool Reflected(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
  bool FHot = false;
};

// A check box that sizes its width to its caption. OnClick follows every
// change of the state, the user's and SetChecked's alike.
class TTkCheckBox : public TTkControl {
public:
  explicit TTkCheckBox(TTkControl* parent);
  bool Checked() const;
  void SetChecked(bool checked);
  void SetCaption(const WideString& caption) override;
  void SetFont(const TTkFont& font) override;

protected:
  // radio: a radio button, which clears the other radio buttons of its
  // parent when it gets checked.
  TTkCheckBox(TTkControl* parent, bool radio);
  bool Reflected(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  // Answers BM_GETCHECK and BM_SETCHECK from the state the skin draws, so
  // that other programs (tests, accessibility tools) read it as usual.
  LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
  void AdjustWidth();
  bool FRadio;
  bool FChecked = false;
  bool FHot = false;
};

// A radio button. OnClick follows every change to checked.
class TTkRadioButton : public TTkCheckBox {
public:
  explicit TTkRadioButton(TTkControl* parent);
};

class TTkEdit : public TTkControl {
public:
  explicit TTkEdit(TTkControl* parent);
  // The text as the user left it (the caption is the text).
  WideString Text() const;
  void SetText(const WideString& text);

protected:
  HBRUSH CtlColor(HDC dc) override;
  // A flat one-pixel frame: grey, in the accent colour while focused.
  LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
};

// An integer field with arrow buttons at its right (step 1, any value of
// 32 bits; the arrow keys and the buttons step it).
class TTkSpinEdit : public TTkEdit {
public:
  explicit TTkSpinEdit(TTkControl* parent);
  // The typed text as a number, rounded; 0 when it is none.
  int Value() const;
  void SetValue(int value);
  void SetBounds(int left, int top, int width, int height) override;
  void SetVisible(bool visible) override;

protected:
  LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
  class TArrows;
  TArrows* FArrows = nullptr;
};

// Read-only multi-line text with a vertical scroll bar and word wrap.
class TTkMemo : public TTkControl {
public:
  explicit TTkMemo(TTkControl* parent);
  WideString Text() const;
  // Lone line feeds become CR LF, which the system's edit control needs.
  void SetText(const WideString& text);

protected:
  HBRUSH CtlColor(HDC dc) override;
};

// A drop-down list (selection only); OnClick follows the user's choice.
class TTkComboBox : public TTkControl {
public:
  explicit TTkComboBox(TTkControl* parent);
  void Clear();
  void AddItem(const WideString& text);
  int ItemCount() const;
  int ItemIndex() const;
  void SetItemIndex(int index);
  void SetItemHeight(int height);
  // The height is the closed box's; the list drops below it.
  void SetBounds(int left, int top, int width, int height) override;

protected:
  bool Reflected(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  HBRUSH CtlColor(HDC dc) override;
};

// A fill with its percentage centred on it in bold: position × 100 ÷
// (maximum − minimum), rounded to the nearest integer (halves to even);
// "0%" while the position is at the minimum or the range is empty.
class TTkProgressBar : public TTkControl {
public:
  explicit TTkProgressBar(TTkControl* parent);
  int Position() const { return FPosition; }
  int Max() const { return FMax; }
  // Positions outside [0, Max] are clamped.
  void SetPosition(int position);
  void SetMax(int max);
  // The caption drawn on the bar ("42%").
  WideString PercentText() const;
  static int Percent(int position, int min, int max);

protected:
  void Paint(HDC dc, const RECT& client) override;

private:
  int FPosition = 0;
  int FMax = 100;
};

// Painted by its owner through OnPaint.
class TTkPaintBox : public TTkControl {
public:
  explicit TTkPaintBox(TTkControl* parent);
  TPaintEvent OnPaint;

protected:
  void Paint(HDC dc, const RECT& client) override;
};

// A picture drawn centred (scaled down proportionally when larger than
// the control); with no picture a transparent surface in the parent's
// colour.
class TTkImage : public TTkControl {
public:
  explicit TTkImage(TTkControl* parent);
  // Shared so that the picture may outlive the control.
  void SetPicture(std::shared_ptr<TTkPicture> picture);
  const std::shared_ptr<TTkPicture>& Picture() const { return FPicture; }

protected:
  void Paint(HDC dc, const RECT& client) override;

private:
  std::shared_ptr<TTkPicture> FPicture;
};

// A line along the top of its area: the separator above a button bar.
class TTkBevel : public TTkControl {
public:
  explicit TTkBevel(TTkControl* parent);

protected:
  void Paint(HDC dc, const RECT& client) override;
};
