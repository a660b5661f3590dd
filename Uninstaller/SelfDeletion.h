// The uninstaller cannot delete its own file while it runs. A copy of it in
// a new folder under the temporary folder, which only administrators and
// SYSTEM can open, waits for it to end, deletes the original (when it
// is still the very file that ran: an upgrade may already have written a
// new one there; and not while Uninstall.da1 is still beside it, which
// means the removal did not finish) and the product's folder when that is
// then empty. The
// copy and its folder are opened for deletion on close and inherited by the
// copy's process, so the system deletes both when that process ends.
#pragma once

#include "QvTypes.h"

// Starts the copy for the program at ownPath; false when it cannot be
// made or started (the original then stays).
bool StartCleanupCopy(const WideString& ownPath);

// True when this process is such a copy (its command line says so).
bool IsCleanupCopy();
// The copy's whole work; returns its exit code (0, or 1 for a command line
// that is not a copy's).
int RunCleanupCopy();
