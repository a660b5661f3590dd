// The uninstaller's progress window: the product's colour with its title
// above, a white strip with the progress bar and the item being removed,
// as the installer's progress page looks.
#pragma once

#include "BaseFrm.h"
#include "TkControls.h"

class TUninstallForm : public TBaseForm {
public:
  // color: the product's MainFormColor; heading: "Removing <title>".
  TUninstallForm(COLORREF color, const WideString& caption, const WideString& heading, const WideString& wait);

  // The bar's length in items, and one item further with its text.
  void SetItemCount(int count);
  void StepItem(const WideString& detail);
  // The work is done: a full bar and no item under it.
  void Finish();
  // Pending window messages, so the window repaints between items.
  void ProcessMessages();

  TTkPanel* pnlMainFormColor;
  TTkLabel* lblAppTitle;
  TTkPanel* pnlBottom;
  TTkProgressBar* pbProgress;
  TTkLabel* lblDetail;
};
