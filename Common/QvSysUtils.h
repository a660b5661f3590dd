// String, number, path and date routines on wide strings, and the stateless
// utility groups. Everything declared here is portable; the groups' Windows
// operations live in the Windows-only units.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "QvExceptions.h"
#include "QvTypes.h"

class TStream;

// ---- text conversion -------------------------------------------------------

// UTF-16 to UTF-8 and back, without byte-order mark; empty in, empty out.
// Unpaired surrogates and invalid UTF-8 become U+FFFD, as the operating
// system's UTF-8 conversion does it (each maximal invalid subpart, one
// replacement character).
RawByteString WideToUtf8(const WideString& s);
WideString Utf8ToWide(const RawByteString& s);
WideString Utf8ToWide(const char* data, size_t length);
// The system code page: the ANSI code page on Windows, UTF-8 elsewhere.
RawByteString WideToAnsi(const WideString& s);
WideString AnsiToWide(const RawByteString& s);

// ---- comparison and case ---------------------------------------------------

// Case-insensitive for the ASCII letters A-Z/a-z; every other unit must be equal.
bool SameText(const WideString& a, const WideString& b);
int CompareText(const WideString& a, const WideString& b);
WideString UpperCase(const WideString& s);  // ASCII letters only
WideString LowerCase(const WideString& s);  // ASCII letters only
// Removes characters <= U+0020 at both ends (at the left, at the right).
WideString Trim(const WideString& s);
WideString TrimLeft(const WideString& s);
WideString TrimRight(const WideString& s);
// Position of sub in s ignoring ASCII case, from index start; npos if none.
size_t PosText(const WideString& sub, const WideString& s, size_t start = 0);

// Replaces every non-overlapping occurrence of oldPattern, scanning left to
// right, ignoring case; an empty pattern changes nothing.
WideString StringReplace(const WideString& s, const WideString& oldPattern, const WideString& newPattern);

// ---- paths (Windows form: "\" separates, ":" ends a drive) ----------------

WideString IncludeTrailingBackslash(const WideString& s);
WideString ExcludeTrailingBackslash(const WideString& s);
WideString ExtractFilePath(const WideString& s);   // up to and including the last "\" or ":"
WideString ExtractFileName(const WideString& s);   // after the last "\" or ":"
WideString ExtractFileExt(const WideString& s);    // from the last "." of the name, dot included
WideString ExtractFileTitle(const WideString& s);  // file name without its extension
WideString ChangeFileExt(const WideString& s, const WideString& ext);

// ---- numbers ---------------------------------------------------------------

WideString IntToStr(int64_t value);
WideString IntToHex(uint64_t value, int digits);
// Optional leading blanks and sign, then decimal digits, or hexadecimal
// digits after "$", "x", "0x" (either case). The whole text must be used.
bool TryStrToInt(const WideString& s, int32_t& value);
bool TryStrToInt64(const WideString& s, int64_t& value);
// Raises EConvertError "'%s' is not a valid integer value".
int32_t StrToInt(const WideString& s);
int64_t StrToInt64(const WideString& s);

// The decimal separator of the general float format: the user locale's on
// Windows, "." natively.
WideChar DecimalSeparator();
// The digit-group separator of Format's %n: the user locale's on Windows,
// "," natively.
WideChar ThousandSeparator();
// General format, up to 15 significant digits: fixed notation while the
// exponent lies within the precision, scientific ("1.5E20") otherwise; no
// trailing zeros.
WideString FloatToStr(double value);
// Accepts what FloatToStr writes (with the locale's separator), leading and
// trailing blanks, a sign and an exponent.
bool TryStrToFloat(const WideString& s, double& value);

// ---- formatting ------------------------------------------------------------

// One argument of Format.
class TFormatArg {
public:
  enum class Kind { Int, UInt, Float, Str };
  TFormatArg(int v) : FKind(Kind::Int), FInt(v) {}
  TFormatArg(long v) : FKind(Kind::Int), FInt(v) {}
  TFormatArg(long long v) : FKind(Kind::Int), FInt(v) {}
  TFormatArg(unsigned v) : FKind(Kind::UInt), FUInt(v) {}
  TFormatArg(unsigned long v) : FKind(Kind::UInt), FUInt(v) {}
  TFormatArg(unsigned long long v) : FKind(Kind::UInt), FUInt(v) {}
  TFormatArg(double v) : FKind(Kind::Float), FFloat(v) {}
  TFormatArg(const WideString& v) : FKind(Kind::Str), FStr(&v) {}
  TFormatArg(const char16_t* v) : FKind(Kind::Str), FOwned(v ? v : u""), FStr(&FOwned) {}
  TFormatArg(const TFormatArg& o) : FKind(o.FKind), FInt(o.FInt), FUInt(o.FUInt), FFloat(o.FFloat), FOwned(o.FOwned),
      FStr(o.FStr == &o.FOwned ? &FOwned : o.FStr) {}
  TFormatArg& operator=(const TFormatArg&) = delete;

  Kind GetKind() const { return FKind; }
  int64_t AsInt() const { return FInt; }
  uint64_t AsUInt() const { return FUInt; }
  double AsFloat() const { return FFloat; }
  const WideString& AsStr() const { return *FStr; }

private:
  Kind FKind;
  int64_t FInt = 0;
  uint64_t FUInt = 0;
  double FFloat = 0;
  WideString FOwned;
  const WideString* FStr = nullptr;
};

// The runtime's Format: "%" [index ":"] ["-"] [width] ["." precision] type,
// with the types d u x X s f g e n and "%%"; "*" takes a width or precision
// from the arguments. A specifier that does not fit its argument, or a
// missing argument, raises EConvertError
// "Format '%s' invalid or incompatible with argument".
WideString Format(const WideString& fmt, std::initializer_list<TFormatArg> args);

// ---- date and time ---------------------------------------------------------

// Day 0 is 30 December 1899. Raise EConvertError on invalid parts.
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int minute, int second, int millisecond);
bool TryEncodeDate(int year, int month, int day, TDateTime& value);
void DecodeDate(TDateTime value, int& year, int& month, int& day);
void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& millisecond);
// Seconds since 1970-01-01 (with fraction) to a date-time and back, no zone.
TDateTime UnixToDateTime(double unixSeconds);
double DateTimeToUnix(TDateTime value);

// ---- files and the command line -------------------------------------------

bool FileExists(const WideString& fileName);
bool DirectoryExists(const WideString& dir);
// Creates dir and every missing parent. An empty path raises EInOutError
// "Unable to create directory"; returns false when a folder cannot be made.
bool ForceDirectories(const WideString& dir);
// <windows.h> makes DeleteFile a macro; a unit that includes it first must
// still reach this function.
#ifdef DeleteFile
#undef DeleteFile
#endif
bool DeleteFile(const WideString& fileName);
// The absolute form of a host path, relative to the current folder; the file
// need not exist.
WideString ExpandFileName(const WideString& fileName);
// The folder separator of the host: "\" on Windows, "/" natively.
WideChar PathDelim();

// The wide command line: ParamStr(0) is the program's own path.
int ParamCount();
WideString ParamStr(int index);
// Natively the arguments come from main; Windows reads its own command line.
void SetCommandLineArgs(int argc, char** argv);

// System error text for an error number (errno natively, GetLastError on Windows).
WideString SysErrorMessage(int errorCode);
int GetLastOSError();

// ---- utility groups --------------------------------------------------------

class TQvStrfn {
public:
  // A new GUID in registry format: braces, upper-case hexadecimal,
  // 8-4-4-4-12 digits (38 characters).
  static WideString NewGUIDString();
  // Sixteen bytes as such a GUID, marked as of that version (4 random, 8
  // name-based) with the standard variant; bytes in the order written.
  static WideString GUIDString(const uint8_t bytes[16], int version);
};

class TQvSysfn {
public:
  // Whole-stream zlib: dest receives the level-9 zlib stream (or the inflated
  // content) of source's entire content. A missing stream is an assertion
  // failure; zlib failures raise EZCompressionError/EZDecompressionError "Error".
  static void CompressStream(TStream* source, TStream* dest);
  static void DecompressStream(TStream* source, TStream* dest);
};
