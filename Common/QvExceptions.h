// The one exception hierarchy of the system: every error carries a message
// text; assertion failures also carry the unit and line that raised them.
#pragma once

#include <stdexcept>
#include <string>

#include "QvTypes.h"

class Exception : public std::exception {
public:
  explicit Exception(WideString message);
  ~Exception() override = default;
  const WideString& Message() const { return FMessage; }
  // UTF-8 form of the message, for std::exception users.
  const char* what() const noexcept override { return FMessageUtf8.c_str(); }
  virtual const char* ClassName() const { return "Exception"; }

protected:
  void SetMessage(WideString message);

private:
  WideString FMessage;
  std::string FMessageUtf8;
};

#define QV_DECLARE_EXCEPTION(Name, Base)                                  \
  class Name : public Base {                                              \
  public:                                                                 \
    using Base::Base;                                                     \
    const char* ClassName() const override { return #Name; }              \
  }

// A failed internal consistency check. Msg is "Assertion failure" or, where
// the check concerns a property, the property's type name.
class EAssertionFailed : public Exception {
public:
  EAssertionFailed(WideString msg, WideString unitName, int line);
  const WideString& Msg() const { return FMsg; }
  const WideString& UnitName() const { return FUnitName; }
  int Line() const { return FLine; }
  const char* ClassName() const override { return "EAssertionFailed"; }

private:
  WideString FMsg;
  WideString FUnitName;
  int FLine;
};

QV_DECLARE_EXCEPTION(EConvertError, Exception);       // text to number, assign
QV_DECLARE_EXCEPTION(EStreamError, Exception);
QV_DECLARE_EXCEPTION(EReadError, EStreamError);       // "Stream read error"
QV_DECLARE_EXCEPTION(EWriteError, EStreamError);      // "Stream write error"
QV_DECLARE_EXCEPTION(EFOpenError, EStreamError);      // Cannot open file ...
QV_DECLARE_EXCEPTION(EFCreateError, EStreamError);    // Cannot create file ...
QV_DECLARE_EXCEPTION(EResNotFound, Exception);        // "Resource %s not found"
QV_DECLARE_EXCEPTION(EListError, Exception);          // list index out of bounds
QV_DECLARE_EXCEPTION(EInOutError, Exception);         // "Unable to create directory"
QV_DECLARE_EXCEPTION(EPropertyConvertError, Exception); // "Invalid property element: %s"
QV_DECLARE_EXCEPTION(EZLibError, Exception);
QV_DECLARE_EXCEPTION(EZCompressionError, EZLibError);   // "Error"
QV_DECLARE_EXCEPTION(EZDecompressionError, EZLibError); // "Error"
QV_DECLARE_EXCEPTION(EOSError, Exception);

// Raises EAssertionFailed("Assertion failure", unit, __LINE__) unless cond.
#define QV_ASSERT(cond, unitName)                                          \
  do {                                                                     \
    if (!(cond)) throw EAssertionFailed(u"Assertion failure", unitName, __LINE__); \
  } while (0)
