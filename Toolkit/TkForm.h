// Top-level windows: the main window and the dialogs.
#pragma once

#include "TkControl.h"

class TTkButton;

enum class TBorderStyle { bsNone, bsDialog, bsSizeable };
// Modal results.
enum : int { mrNone = 0, mrOk = 1, mrCancel = 2, mrAbort = 3, mrRetry = 4, mrIgnore = 5 };
// Key-down shift state bits.
enum : unsigned { ssShift = 1, ssAlt = 2, ssCtrl = 4 };

class TTkForm : public TTkControl {
public:
  // owner: the window that owns this one (a dialog's owner is the main
  // window); null for the main window. The form starts hidden, centred on
  // the screen when first shown, in Tahoma 12 px on the button face.
  explicit TTkForm(TTkForm* owner);
  ~TTkForm() override;

  TTkForm* Owner() const { return FOwner; }
  void SetBorderStyle(TBorderStyle style);
  // With bsSizeable: whether the minimise and maximise boxes are there.
  void SetBorderIcons(bool minimize, bool maximize);
  void SetClientSize(int width, int height);
  // The window's own caption (title bar, taskbar).
  void SetCaption(const WideString& caption) override;

  // Show (centred the first time) and bring to the front; OnShow runs.
  void SetVisible(bool visible) override;
  // Asks CloseQuery and OnClose. A modal form then ends its loop; the main
  // form ends the application's loop; another form hides.
  void Close();

  int ModalResult() const { return FModalResult; }
  void SetModalResult(int result) { FModalResult = result; }
  // Runs the form modally and returns its modal result. The base runs the
  // owned modal loop of TQvVclfn::ShowModalOwned when the form has an
  // owner, else a standard loop that disables every other window.
  virtual int ShowModal();
  // Used by the modal loops: asks CloseQuery and OnClose; keeps the result
  // when the form may close, resets it to mrNone otherwise.
  virtual void CloseModal();
  bool IsModal() const { return FModal; }
  void SetModal(bool modal) { FModal = modal; }

  // Buttons that Enter and Esc press (the toolkit's Default and Cancel).
  void SetDefaultButton(TTkButton* button) { FDefaultButton = button; }
  void SetCancelButton(TTkButton* button) { FCancelButton = button; }
  TTkButton* DefaultButton() const { return FDefaultButton; }
  TTkButton* CancelButton() const { return FCancelButton; }

  // Key preview: the form sees every key press of its controls first.
  // shift is a set of ss... bits. Returning true swallows the key.
  virtual bool KeyDown(WORD& key, unsigned shift);
  // The keyboard handling of the message loops for the active form: key
  // preview, Tab and Shift+Tab, Enter and Esc. True when the message was
  // used up.
  bool PreProcessMessage(const MSG& msg);

  // Moving the window snaps it to the screen's work-area edges (on by
  // default).
  void SetScreenSnap(bool snap) { FScreenSnap = snap; }

  TNotifyEvent OnShow;
  // Sets allow to false to keep the form open.
  std::function<void(bool& allow)> OnCloseQuery;
  // Called when the form closes (after the close query agreed).
  TNotifyEvent OnClose;

protected:
  // A form whose window class has a name of its own ("TMainForm"), so that
  // other programs can find it by class.
  TTkForm(TTkForm* owner, const wchar_t* windowClass);
  LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
  void ApplyStyle();
  void CenterOnWorkArea();
  void SelectNext(bool forward);
  void FocusFirstControl();
  void SnapToWorkArea(RECT& rect) const;

  TTkForm* FOwner;
  TBorderStyle FBorderStyle = TBorderStyle::bsSizeable;
  bool FMinimizeBox = true, FMaximizeBox = true;
  bool FShownOnce = false;
  bool FModal = false;
  int FModalResult = mrNone;
  TTkButton* FDefaultButton = nullptr;
  TTkButton* FCancelButton = nullptr;
  HWND FActiveControl = nullptr;  // focus to give back on activation
  bool FScreenSnap = true;
};
