// Basic types shared by every unit: the wide string of the model (UTF-16,
// as Windows has it), UTF-8 byte strings and the date-time value.
//
// Common/ is the base of the house: text, numbers, dates, exceptions,
// streams, lists and property values, with their Windows and POSIX halves.
// Every room builds on it; it includes nothing of the project outside
// itself.
#pragma once

#include <cstdint>
#include <string>

using WideChar = char16_t;
using WideString = std::u16string;
// UTF-8 (or other narrow) bytes.
using RawByteString = std::string;
// Days since 30 December 1899; the fraction is the time of day.
using TDateTime = double;

// Wide string literal: WS("abc") is a WideString.
#define WS(s) WideString(u"" s)
