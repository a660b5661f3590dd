// What the command line asks of the installer and the uninstaller: a mode
// (the single switch that stood alone before any other existed), and the
// switches that may stand beside it, /Dir=PATH and /Log=FILE. Read apart
// from the programs so that the rules are checked natively.
#pragma once

#include <vector>

#include "QvTypes.h"

struct TCommandSwitches {
  // The mode named, as the list of modes spells it; empty for a run with
  // a window (no mode, two modes, or anything the program does not know).
  WideString Mode;
  // /Dir= and /Log= with their values, unquoted; given even when empty.
  bool DirGiven = false;
  WideString Dir;
  bool LogGiven = false;
  WideString Log;
};

// Reads args (without the program's own path). Switches compare without
// case and come in any order. modes are the switches that each select a
// mode; takesDir says whether /Dir= is known (the uninstaller has no
// folder to choose). A switch given twice counts as it came last.
TCommandSwitches ParseCommandSwitches(const std::vector<WideString>& args, const std::vector<WideString>& modes,
                                      bool takesDir);
