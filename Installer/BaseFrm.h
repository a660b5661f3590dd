// The bases of every window of the installer: the common look, key
// preview that repaints on Alt and Tab, and the modal loop owned by the
// owner's window only; and the dialog base with its OK / Cancel / Apply bar.
#pragma once

#include "TkControls.h"
#include "TkForm.h"

// The face of the installer's large texts and buttons, and its white.
inline constexpr const char16_t* kYaHei = u"微软雅黑";
inline constexpr COLORREF kWhite = RGB(255, 255, 255);

class TBaseForm : public TTkForm {
public:
  explicit TBaseForm(TTkForm* owner);

  bool KeyDown(WORD& key, unsigned shift) override;
  int ShowModal() override;

protected:
  // The bar along the bottom (41 pixels, a separator line on top) that
  // holds a dialog's buttons.
  void CreateButtonBar(TTkPanel*& bar, TTkBevel*& separator);
  // A button of that bar: 25 pixels high, 8 from its top.
  TTkButton* CreateBarButton(TTkPanel* bar, const char16_t* name, int left, int width, int modalResult);
};

class TBaseDialogForm : public TBaseForm {
public:
  // A fixed dialog frame with a client area of width × height.
  TBaseDialogForm(TTkForm* owner, int clientWidth, int clientHeight);

  // 0 OK only; 1 OK and Cancel; 2 OK, Cancel and Apply.
  uint8_t ButtonLayout = 1;
  void LayoutButtons();

  TTkPanel* pnlBkClient;
  TTkPanel* pnlButtons;
  TTkBevel* bvlButtons;
  TTkButton* btnOk;
  TTkButton* btnCancel;
  TTkButton* btnApply;
};
