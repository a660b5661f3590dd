#include "QvExceptions.h"

#include "QvSysUtils.h"

Exception::Exception(WideString message) { SetMessage(std::move(message)); }

void Exception::SetMessage(WideString message) {
  FMessage = std::move(message);
  FMessageUtf8 = WideToUtf8(FMessage);
}

EAssertionFailed::EAssertionFailed(WideString msg, WideString unitName, int line)
    : Exception(u""), FMsg(std::move(msg)), FUnitName(std::move(unitName)), FLine(line) {
  // The same shape as the runtime's own assertion text: "msg (unit, line n)".
  SetMessage(FMsg + u" (" + FUnitName + u", line " + IntToStr(FLine) + u")");
}
