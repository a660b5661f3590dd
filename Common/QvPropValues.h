// The text forms of enumeration and set values, shared by the XML and JSON
// forms of persistent objects and by copying between unlike kinds.
#pragma once

#include <cstdint>

#include "QvTypInfo.h"
#include "QvTypes.h"

// The value's declared name; an ordinal outside the declared values (a
// field set by a cast) is written as its number so that nothing is lost.
WideString EnumValueText(const TPropInfo& prop, int64_t ordinal);
// The ordinal of a value name, matched without regard to ASCII case; a
// name that the type does not declare gives the first value, 0.
int64_t EnumValueFromText(const TPropInfo& prop, const WideString& text);

// The names of the elements present, joined by "," without blanks.
WideString SetValueText(const TPropInfo& prop, int64_t bits);
// Names separated by "," and/or blanks, optionally inside "[" "]"; an
// unknown name raises EPropertyConvertError "Invalid property element: %s".
int64_t SetValueFromText(const TPropInfo& prop, const WideString& text);
