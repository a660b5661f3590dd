// The application object: the message loop, the screen cursor, the
// application title, and the report of errors that no handler catches.
#pragma once

#include <windows.h>

#include <functional>

#include "TkControl.h"
#include "QvExceptions.h"

class TTkForm;

class TTkApplication {
public:
  // Registers the window classes and starts GDI+ and the common controls.
  void Initialize();
  // Runs the message loop until Terminate (or WM_QUIT).
  void Run();
  // Handles every pending message and returns.
  void ProcessMessages();
  // Handles one message, waiting for one when the queue is empty.
  void HandleMessage();
  void Terminate();
  bool Terminated() const { return FTerminated; }

  TTkForm* MainForm() const { return FMainForm; }
  void SetMainForm(TTkForm* form) { FMainForm = form; }
  // Text of the taskbar button and caption of message boxes.
  const WideString& Title() const { return FTitle; }
  void SetTitle(const WideString& title);
  // Minimises the application to the taskbar.
  void Minimize();

  // The screen cursor: shown over every window of the application while
  // it is not crDefault.
  TCursor ScreenCursor() const { return FScreenCursor; }
  void SetScreenCursor(TCursor cursor);

  // Bookkeeping of modal windows (message boxes, dialogs).
  void ModalStarted() { ++FModalLevel; }
  void ModalFinished() { if (FModalLevel > 0) --FModalLevel; }
  int ModalLevel() const { return FModalLevel; }

  // Every error that escapes an event handler comes here; the message loop
  // goes on afterwards. The default shows the message in a box.
  std::function<void(const Exception& error)> OnException;
  void HandleException(const Exception& error);
  // The same for errors that are not of the system's own hierarchy.
  void HandleException(const std::exception& error);

private:
  // One message of either loop: the active form's keyboard handling, then
  // translation and dispatch.
  void DispatchOne(MSG& msg);

  bool FTerminated = false;
  TTkForm* FMainForm = nullptr;
  WideString FTitle;
  TCursor FScreenCursor = crDefault;
  int FModalLevel = 0;
};

TTkApplication& Application();
