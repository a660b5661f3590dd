// The run's log: what an installation or a removal did, one line per step
// and effect, for the administrator who asked for it with /Log=FILE. UTF-8
// text, each line written to the file as it is made (nothing waits in the
// process), so a run that is killed leaves every line up to that moment.
// Without an open log every call is a no-op, so the steps log
// unconditionally.
#pragma once

#include <initializer_list>

#include "QvSysUtils.h"
#include "QvTypes.h"

class TQvRunLog {
public:
  // Makes (or replaces) the file; false and why when it cannot be made,
  // and the run goes on without a log.
  static bool Open(const WideString& path, WideString& why);
  static bool IsOpen();
  // One line: the local time to the millisecond, then text (line breaks in
  // it become " / ", so that each entry stays one line).
  static void Line(const WideString& text);
  // Line(Format(format, args)).
  static void Line(const WideString& format, std::initializer_list<TFormatArg> args);
};
