#include "SetupSwitches.h"

#include "QvSysUtils.h"

namespace {

// The value of "/Name=value" when arg is that switch: true and value
// without one pair of enclosing quotes. The command line's own parsing
// has removed the quotes of /Dir="C:\A B" already; a value that still
// carries them (quotes escaped for a tool that passed them on) loses them
// here.
bool SwitchValue(const WideString& arg, const WideString& name, WideString& value) {
  if (arg.size() < name.size() || !SameText(arg.substr(0, name.size()), name)) return false;
  value = arg.substr(name.size());
  if (value.size() >= 2 && value.front() == u'"' && value.back() == u'"') value = value.substr(1, value.size() - 2);
  return true;
}

}  // namespace

TCommandSwitches ParseCommandSwitches(const std::vector<WideString>& args, const std::vector<WideString>& modes,
                                      bool takesDir) {
  TCommandSwitches result;
  bool unknown = false;
  int modeCount = 0;
  for (const WideString& arg : args) {
    WideString value;
    if (takesDir && SwitchValue(arg, u"/Dir=", value)) {
      result.DirGiven = true;
      result.Dir = value;
      continue;
    }
    if (SwitchValue(arg, u"/Log=", value)) {
      result.LogGiven = true;
      result.Log = value;
      continue;
    }
    bool isMode = false;
    for (const WideString& mode : modes) {
      if (SameText(arg, mode)) {
        // The same mode twice is still that mode; two different ones are
        // a contradiction, which a window resolves.
        if (modeCount == 0 || !SameText(result.Mode, mode)) ++modeCount;
        result.Mode = mode;
        isMode = true;
        break;
      }
    }
    if (!isMode) unknown = true;
  }
  // Anything unknown, or two modes at once, asks the person at the
  // machine, as a lone unknown argument always did.
  if (unknown || modeCount != 1) result.Mode.clear();
  return result;
}
