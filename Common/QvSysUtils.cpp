// Portable part of the string, number, path and date routines. The pieces
// that need the host (code pages, the locale, files, the command line, error
// texts, GUIDs) live in QvSysUtils_win.cpp and QvSysUtils_posix.cpp.
#include "QvSysUtils.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

constexpr char16_t kReplacement = 0xFFFD;

inline char16_t AsciiUpper(char16_t c) { return (c >= u'a' && c <= u'z') ? char16_t(c - 32) : c; }
inline char16_t AsciiLower(char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c; }

inline bool IsHexDigit(char16_t c, unsigned& v) {
  if (c >= u'0' && c <= u'9') { v = c - u'0'; return true; }
  if (c >= u'a' && c <= u'f') { v = c - u'a' + 10; return true; }
  if (c >= u'A' && c <= u'F') { v = c - u'A' + 10; return true; }
  return false;
}

WideString AsciiToWide(const char* p, size_t n) { return WideString(p, p + n); }

inline bool IsPathDelimiter(char16_t c) { return c == u'\\' || c == u':'; }

// Index just after the last "\" or ":", i.e. where the file name begins.
size_t NameStart(const WideString& s) {
  for (size_t i = s.size(); i > 0; --i)
    if (IsPathDelimiter(s[i - 1])) return i;
  return 0;
}

// Index of the extension's dot within the name part, or npos.
size_t ExtStart(const WideString& s) {
  const size_t name = NameStart(s);
  for (size_t i = s.size(); i > name; --i)
    if (s[i - 1] == u'.') return i - 1;
  return WideString::npos;
}

}  // namespace

// ---- text conversion -------------------------------------------------------

RawByteString WideToUtf8(const WideString& s) {
  RawByteString out;
  if (s.empty()) return out;
  out.reserve(s.size() + s.size() / 2);
  const size_t n = s.size();
  for (size_t i = 0; i < n; ++i) {
    uint32_t c = s[i];
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
      continue;
    }
    if (c >= 0xD800 && c <= 0xDFFF) {
      if (c <= 0xDBFF && i + 1 < n && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
        ++i;
      } else {
        c = kReplacement;
      }
    }
    if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

WideString Utf8ToWide(const RawByteString& s) { return Utf8ToWide(s.data(), s.size()); }

// Well-formed sequences as the Unicode standard tabulates them. The second
// byte's range depends on the lead (that is what excludes overlongs,
// surrogates and code points above U+10FFFF); later bytes are 80..BF. A lead
// that cannot start a sequence, or a sequence cut short, yields one U+FFFD
// for the maximal subpart seen so far, and the offending byte is looked at
// again as a possible start.
WideString Utf8ToWide(const char* data, size_t length) {
  WideString out;
  if (length == 0 || data == nullptr) return out;
  out.reserve(length);
  const auto* p = reinterpret_cast<const unsigned char*>(data);
  size_t i = 0;
  while (i < length) {
    const unsigned b0 = p[i];
    if (b0 < 0x80) {
      out.push_back(static_cast<char16_t>(b0));
      ++i;
      continue;
    }
    unsigned need;       // continuation bytes after the lead
    unsigned lo = 0x80;  // range of the second byte
    unsigned hi = 0xBF;
    uint32_t cp;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
      need = 1; cp = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
      need = 2; cp = b0 & 0x0F;
      if (b0 == 0xE0) lo = 0xA0;
      else if (b0 == 0xED) hi = 0x9F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
      need = 3; cp = b0 & 0x07;
      if (b0 == 0xF0) lo = 0x90;
      else if (b0 == 0xF4) hi = 0x8F;
    } else {
      out.push_back(kReplacement);
      ++i;
      continue;
    }
    size_t j = i + 1;
    bool ok = true;
    for (unsigned k = 0; k < need; ++k, ++j) {
      if (j >= length) { ok = false; break; }
      const unsigned b = p[j];
      const unsigned l = (k == 0) ? lo : 0x80;
      const unsigned h = (k == 0) ? hi : 0xBF;
      if (b < l || b > h) { ok = false; break; }
      cp = (cp << 6) | (b & 0x3F);
    }
    if (!ok) {
      out.push_back(kReplacement);
      i = j;  // j is at the byte that broke the sequence (or the end)
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i = j;
  }
  return out;
}

// ---- comparison and case ---------------------------------------------------

bool SameText(const WideString& a, const WideString& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i] != b[i] && AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
  return true;
}

int CompareText(const WideString& a, const WideString& b) {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    const int ca = AsciiUpper(a[i]);
    const int cb = AsciiUpper(b[i]);
    if (ca != cb) return ca - cb;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

WideString UpperCase(const WideString& s) {
  WideString r(s);
  for (auto& c : r) c = AsciiUpper(c);
  return r;
}

WideString LowerCase(const WideString& s) {
  WideString r(s);
  for (auto& c : r) c = AsciiLower(c);
  return r;
}

WideString Trim(const WideString& s) {
  size_t b = 0, e = s.size();
  while (b < e && s[b] <= u' ') ++b;
  while (e > b && s[e - 1] <= u' ') --e;
  return s.substr(b, e - b);
}

WideString TrimLeft(const WideString& s) {
  size_t b = 0;
  while (b < s.size() && s[b] <= u' ') ++b;
  return s.substr(b);
}

WideString TrimRight(const WideString& s) {
  size_t e = s.size();
  while (e > 0 && s[e - 1] <= u' ') --e;
  return s.substr(0, e);
}

// An empty sub is never found, as with the runtime's Pos.
size_t PosText(const WideString& sub, const WideString& s, size_t start) {
  if (sub.empty() || start > s.size() || sub.size() > s.size() - start) return WideString::npos;
  const size_t last = s.size() - sub.size();
  const char16_t first = AsciiUpper(sub[0]);
  for (size_t i = start; i <= last; ++i) {
    if (AsciiUpper(s[i]) != first) continue;
    size_t k = 1;
    while (k < sub.size() && AsciiUpper(s[i + k]) == AsciiUpper(sub[k])) ++k;
    if (k == sub.size()) return i;
  }
  return WideString::npos;
}

WideString StringReplace(const WideString& s, const WideString& oldPattern, const WideString& newPattern) {
  if (oldPattern.empty()) return s;
  size_t hit = PosText(oldPattern, s, 0);
  if (hit == WideString::npos) return s;
  WideString out;
  out.reserve(s.size());
  size_t from = 0;
  while (hit != WideString::npos) {
    out.append(s, from, hit - from);
    out.append(newPattern);
    from = hit + oldPattern.size();
    hit = PosText(oldPattern, s, from);
  }
  out.append(s, from, WideString::npos);
  return out;
}

// ---- paths -----------------------------------------------------------------

WideString IncludeTrailingBackslash(const WideString& s) {
  if (!s.empty() && s.back() == u'\\') return s;
  return s + u'\\';
}

WideString ExcludeTrailingBackslash(const WideString& s) {
  if (!s.empty() && s.back() == u'\\') return s.substr(0, s.size() - 1);
  return s;
}

WideString ExtractFilePath(const WideString& s) { return s.substr(0, NameStart(s)); }
WideString ExtractFileName(const WideString& s) { return s.substr(NameStart(s)); }

WideString ExtractFileExt(const WideString& s) {
  const size_t dot = ExtStart(s);
  return dot == WideString::npos ? WideString() : s.substr(dot);
}

WideString ExtractFileTitle(const WideString& s) {
  const size_t name = NameStart(s);
  const size_t dot = ExtStart(s);
  return s.substr(name, (dot == WideString::npos ? s.size() : dot) - name);
}

WideString ChangeFileExt(const WideString& s, const WideString& ext) {
  const size_t dot = ExtStart(s);
  return (dot == WideString::npos ? s : s.substr(0, dot)) + ext;
}

// ---- numbers ---------------------------------------------------------------

WideString IntToStr(int64_t value) {
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, value);
  return AsciiToWide(buf, static_cast<size_t>(r.ptr - buf));
}

WideString IntToHex(uint64_t value, int digits) {
  static const char kHex[] = "0123456789ABCDEF";
  char buf[16];
  int n = 0;
  do {
    buf[n++] = kHex[value & 0xF];
    value >>= 4;
  } while (value != 0);
  WideString r;
  if (digits > n) r.assign(static_cast<size_t>(digits - n), u'0');
  while (n > 0) r.push_back(static_cast<char16_t>(buf[--n]));
  return r;
}

WideString TQvStrfn::GUIDString(const uint8_t bytes[16], int version) {
  uint8_t b[16];
  std::memcpy(b, bytes, sizeof b);
  b[6] = static_cast<uint8_t>((b[6] & 0x0F) | (version << 4));
  b[8] = static_cast<uint8_t>((b[8] & 0x3F) | 0x80);
  WideString s = u"{";
  for (int i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) s.push_back(u'-');
    s += IntToHex(b[i], 2);
  }
  s.push_back(u'}');
  return s;
}

namespace {

// Parses the integer syntax into a magnitude. maxDecimal bounds the
// magnitude of decimal text for the sign seen; hexadecimal text is a bit
// pattern of bits width (so "$FFFFFFFF" is -1 as a 32-bit value, as the
// runtime reads it), bounded by maxHex.
bool ParseInteger(const WideString& s, uint64_t maxPositive, uint64_t maxHex, bool& negative, uint64_t& magnitude,
                  bool& hex) {
  size_t i = 0;
  const size_t n = s.size();
  while (i < n && s[i] == u' ') ++i;
  negative = false;
  if (i < n && (s[i] == u'-' || s[i] == u'+')) {
    negative = s[i] == u'-';
    ++i;
  }
  hex = false;
  if (i < n && (s[i] == u'$' || s[i] == u'x' || s[i] == u'X')) {
    hex = true;
    ++i;
  } else if (i + 1 < n && s[i] == u'0' && (s[i + 1] == u'x' || s[i + 1] == u'X')) {
    hex = true;
    i += 2;
  }
  if (i >= n) return false;
  uint64_t v = 0;
  if (hex) {
    for (; i < n; ++i) {
      unsigned d;
      if (!IsHexDigit(s[i], d)) return false;
      if (v > (maxHex >> 4)) return false;
      v = (v << 4) | d;
    }
  } else {
    const uint64_t limit = negative ? maxPositive + 1 : maxPositive;
    for (; i < n; ++i) {
      const char16_t c = s[i];
      if (c < u'0' || c > u'9') return false;
      const unsigned d = c - u'0';
      if (v > (limit - d) / 10) return false;
      v = v * 10 + d;
    }
  }
  magnitude = v;
  return true;
}

}  // namespace

bool TryStrToInt(const WideString& s, int32_t& value) {
  bool negative, hex;
  uint64_t mag;
  if (!ParseInteger(s, INT32_MAX, UINT32_MAX, negative, mag, hex)) return false;
  uint32_t bits = static_cast<uint32_t>(mag);
  if (negative) bits = 0u - bits;
  value = static_cast<int32_t>(bits);
  return true;
}

bool TryStrToInt64(const WideString& s, int64_t& value) {
  bool negative, hex;
  uint64_t mag;
  if (!ParseInteger(s, INT64_MAX, UINT64_MAX, negative, mag, hex)) return false;
  if (negative) mag = 0u - mag;
  value = static_cast<int64_t>(mag);
  return true;
}

int32_t StrToInt(const WideString& s) {
  int32_t v;
  if (!TryStrToInt(s, v)) throw EConvertError(u"'" + s + u"' is not a valid integer value");
  return v;
}

int64_t StrToInt64(const WideString& s) {
  int64_t v;
  if (!TryStrToInt64(s, v)) throw EConvertError(u"'" + s + u"' is not a valid integer value");
  return v;
}

namespace {

// The decimal digits of |value| rounded to precision significant digits,
// trailing zeros removed, and the decimal exponent of the first digit.
// Returns false for infinities and NaN.
bool SignificantDigits(double value, int precision, std::string& digits, int& exponent) {
  if (!std::isfinite(value)) return false;
  if (value == 0) {
    digits = "0";
    exponent = 0;
    return true;
  }
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific, precision - 1);
  // d[.ddd]e[+-]xx
  const char* e = static_cast<const char*>(std::memchr(buf, 'e', static_cast<size_t>(r.ptr - buf)));
  digits.clear();
  for (const char* q = buf; q < e; ++q)
    if (*q != '.') digits.push_back(*q);
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  exponent = 0;
  std::from_chars(e + 1 + (e[1] == '+'), r.ptr, exponent);
  return true;
}

WideString NonFinite(double value) {
  if (std::isnan(value)) return u"NAN";
  return value < 0 ? u"-INF" : u"INF";
}

// The general format at a given precision. Fixed notation while the first
// digit's exponent lies in -4..precision-1 (so 0.0001 stays fixed and
// 0.00001 becomes "1E-5", 1E14 is written out and 1E15 is not); otherwise
// one digit, the separator, the rest and "E" with the exponent (no plus,
// no leading zeros), as the runtime's general format writes it.
WideString GeneralFormat(double value, int precision) {
  if (precision < 1) precision = 1;
  if (precision > 17) precision = 17;
  std::string d;
  int exp10;
  if (!SignificantDigits(value, precision, d, exp10)) return NonFinite(value);
  const char16_t sep = DecimalSeparator();
  WideString r;
  if (value < 0 && d != "0") r.push_back(u'-');
  const int nd = static_cast<int>(d.size());
  if (exp10 >= -4 && exp10 < precision) {
    if (exp10 < 0) {
      r += u'0';
      r += sep;
      r.append(static_cast<size_t>(-exp10 - 1), u'0');
      r.append(d.begin(), d.end());
    } else if (nd <= exp10 + 1) {
      r.append(d.begin(), d.end());
      r.append(static_cast<size_t>(exp10 + 1 - nd), u'0');
    } else {
      r.append(d.begin(), d.begin() + exp10 + 1);
      r += sep;
      r.append(d.begin() + exp10 + 1, d.end());
    }
  } else {
    r += static_cast<char16_t>(d[0]);
    if (nd > 1) {
      r += sep;
      r.append(d.begin() + 1, d.end());
    }
    r += u'E';
    r += IntToStr(exp10);
  }
  return r;
}

// Fixed notation with exactly decimals digits after the separator, grouping
// the integer digits when thousands is not zero.
WideString FixedFormat(double value, int decimals, char16_t thousands) {
  if (!std::isfinite(value)) return NonFinite(value);
  if (decimals > 18) decimals = 18;
  if (decimals < 0) decimals = 0;
  char buf[400];
  auto r = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::fixed, decimals);
  const char* end = r.ptr;
  const char* dot = static_cast<const char*>(std::memchr(buf, '.', static_cast<size_t>(end - buf)));
  const char* intEnd = dot ? dot : end;
  bool allZero = true;
  for (const char* q = buf; q < end; ++q)
    if (*q >= '1' && *q <= '9') allZero = false;
  WideString out;
  if (value < 0 && !allZero) out.push_back(u'-');
  const int intLen = static_cast<int>(intEnd - buf);
  for (int k = 0; k < intLen; ++k) {
    if (thousands && k > 0 && (intLen - k) % 3 == 0) out.push_back(thousands);
    out.push_back(static_cast<char16_t>(buf[k]));
  }
  if (dot) {
    out.push_back(DecimalSeparator());
    out.append(dot + 1, end);
  }
  return out;
}

// "d.ddd...E+ddd": precision significant digits (trailing zeros kept), an
// exponent with its sign and at least three digits.
WideString ScientificFormat(double value, int precision) {
  if (!std::isfinite(value)) return NonFinite(value);
  if (precision < 1) precision = 1;
  if (precision > 18) precision = 18;
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific, precision - 1);
  const char* e = static_cast<const char*>(std::memchr(buf, 'e', static_cast<size_t>(r.ptr - buf)));
  WideString out;
  if (std::signbit(value) && value != 0) out.push_back(u'-');
  for (const char* q = buf; q < e; ++q) out.push_back(*q == '.' ? DecimalSeparator() : static_cast<char16_t>(*q));
  int exp10 = 0;
  std::from_chars(e + 1 + (e[1] == '+'), r.ptr, exp10);
  out.push_back(u'E');
  out.push_back(exp10 < 0 ? u'-' : u'+');
  WideString ed = IntToStr(exp10 < 0 ? -exp10 : exp10);
  if (ed.size() < 3) out.append(3 - ed.size(), u'0');
  out += ed;
  return out;
}

}  // namespace

WideString FloatToStr(double value) { return GeneralFormat(value, 15); }

bool TryStrToFloat(const WideString& s, double& value) {
  size_t b = 0, e = s.size();
  while (b < e && s[b] <= u' ') ++b;
  while (e > b && s[e - 1] <= u' ') --e;
  if (b == e) return false;
  const char16_t sep = DecimalSeparator();
  std::string a;
  a.reserve(e - b);
  size_t i = b;
  bool negative = false;
  if (s[i] == u'+' || s[i] == u'-') {
    negative = s[i] == u'-';
    ++i;
  }
  {
    // What FloatToStr writes for values it cannot show as numbers.
    const WideString rest = s.substr(i, e - i);
    if (SameText(rest, u"INF")) { value = negative ? -HUGE_VAL : HUGE_VAL; return true; }
    if (SameText(rest, u"NAN") && !negative) { value = std::nan(""); return true; }
  }
  if (negative) a.push_back('-');
  size_t mantissaDigits = 0;
  while (i < e && s[i] >= u'0' && s[i] <= u'9') { a.push_back(static_cast<char>(s[i++])); ++mantissaDigits; }
  if (i < e && s[i] == sep) {
    a.push_back('.');
    ++i;
    while (i < e && s[i] >= u'0' && s[i] <= u'9') { a.push_back(static_cast<char>(s[i++])); ++mantissaDigits; }
  }
  if (mantissaDigits == 0) return false;
  long exp10 = 0;
  if (i < e && (s[i] == u'e' || s[i] == u'E')) {
    ++i;
    bool expNegative = false;
    if (i < e && (s[i] == u'+' || s[i] == u'-')) expNegative = s[i++] == u'-';
    size_t expDigits = 0;
    while (i < e && s[i] >= u'0' && s[i] <= u'9') {
      if (exp10 < 100000) exp10 = exp10 * 10 + (s[i] - u'0');  // far beyond any double either way
      ++i;
      ++expDigits;
    }
    if (expDigits == 0) return false;
    if (expNegative) exp10 = -exp10;
  }
  if (i != e) return false;
  auto parse = [&a](long exponent, double& out) {
    const std::string text = a + "e" + std::to_string(exponent);
    auto r = std::from_chars(text.data(), text.data() + text.size(), out);
    return r.ptr == text.data() + text.size() ? r.ec : std::errc::invalid_argument;
  };
  double v = 0;
  const std::errc ec = parse(exp10, v);
  if (ec == std::errc::result_out_of_range) {
    double tenth = 0;
    if (exp10 < 0) {
      // Too small to represent is zero.
      v = negative ? -0.0 : 0.0;
    } else if (parse(exp10 - 1, tenth) == std::errc() &&
               std::fabs(tenth) <= std::numeric_limits<double>::max() / 10 * (1 + 3e-15)) {
      // The largest double written with 15 digits rounds up past it; it is
      // still that double, not an overflow.
      v = negative ? -std::numeric_limits<double>::max() : std::numeric_limits<double>::max();
    } else {
      return false;
    }
  } else if (ec != std::errc()) {
    return false;
  }
  value = v;
  return true;
}

// ---- formatting ------------------------------------------------------------

namespace {

[[noreturn]] void FormatError(const WideString& fmt) {
  throw EConvertError(u"Format '" + fmt + u"' invalid or incompatible with argument");
}

// A negative integer shown as unsigned (%u, %x) is its two's complement
// pattern: 32 bits when the value fits a 32-bit integer, as the runtime shows
// an Integer, 64 bits otherwise.
uint64_t UnsignedBits(const TFormatArg& a) {
  if (a.GetKind() == TFormatArg::Kind::UInt) return a.AsUInt();
  const int64_t v = a.AsInt();
  if (v < 0 && v >= INT32_MIN) return static_cast<uint32_t>(static_cast<int32_t>(v));
  return static_cast<uint64_t>(v);
}

WideString UnsignedToStr(uint64_t v) {
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  return AsciiToWide(buf, static_cast<size_t>(r.ptr - buf));
}

}  // namespace

WideString Format(const WideString& fmt, std::initializer_list<TFormatArg> args) {
  const TFormatArg* argv = args.begin();
  const size_t argc = args.size();
  size_t next = 0;
  WideString out;
  out.reserve(fmt.size() + 16);
  const size_t n = fmt.size();
  size_t i = 0;

  auto takeInt = [&]() -> int64_t {
    if (next >= argc || argv[next].GetKind() != TFormatArg::Kind::Int) {
      if (next < argc && argv[next].GetKind() == TFormatArg::Kind::UInt && argv[next].AsUInt() <= INT32_MAX)
        return static_cast<int64_t>(argv[next++].AsUInt());
      FormatError(fmt);
    }
    return argv[next++].AsInt();
  };
  // A number in the specifier, or "*" for one from the arguments.
  auto number = [&](int64_t& v) -> bool {
    if (i < n && fmt[i] == u'*') {
      ++i;
      v = takeInt();
      return true;
    }
    if (i >= n || fmt[i] < u'0' || fmt[i] > u'9') return false;
    v = 0;
    while (i < n && fmt[i] >= u'0' && fmt[i] <= u'9') {
      v = v * 10 + (fmt[i] - u'0');
      if (v > 1000000) FormatError(fmt);  // no sane width; keeps allocation bounded
      ++i;
    }
    return true;
  };

  while (i < n) {
    const size_t pct = fmt.find(u'%', i);
    if (pct == WideString::npos) {
      out.append(fmt, i, WideString::npos);
      break;
    }
    out.append(fmt, i, pct - i);
    i = pct + 1;
    if (i >= n) FormatError(fmt);
    if (fmt[i] == u'%') {
      out.push_back(u'%');
      ++i;
      continue;
    }
    int64_t v = 0;
    bool left = false;
    int64_t width = -1;
    int64_t prec = -1;
    // index ":" or width; both begin with a number or "*".
    if (number(v)) {
      if (i < n && fmt[i] == u':') {
        ++i;
        if (v < 0 || static_cast<uint64_t>(v) > argc) FormatError(fmt);
        next = static_cast<size_t>(v);
      } else {
        width = v;
      }
    }
    if (width < 0) {
      if (i < n && fmt[i] == u'-') {
        left = true;
        ++i;
      }
      if (number(v)) width = v;
    }
    if (i < n && fmt[i] == u'.') {
      ++i;
      if (!number(v)) FormatError(fmt);
      prec = v;
    }
    if (width < 0) width = 0;
    if (width > 1000000 || prec > 1000000) FormatError(fmt);
    if (i >= n) FormatError(fmt);
    const char16_t type = AsciiLower(fmt[i++]);
    if (next >= argc) FormatError(fmt);
    const TFormatArg& a = argv[next++];
    const auto kind = a.GetKind();
    const bool isInt = kind == TFormatArg::Kind::Int || kind == TFormatArg::Kind::UInt;
    WideString piece;
    switch (type) {
      case u'd': {
        if (!isInt) FormatError(fmt);
        bool neg = false;
        WideString digits;
        if (kind == TFormatArg::Kind::UInt) {
          digits = UnsignedToStr(a.AsUInt());
        } else {
          const int64_t x = a.AsInt();
          neg = x < 0;
          digits = UnsignedToStr(neg ? 0u - static_cast<uint64_t>(x) : static_cast<uint64_t>(x));
        }
        if (prec > 0 && digits.size() < static_cast<size_t>(prec)) digits.insert(0, static_cast<size_t>(prec) - digits.size(), u'0');
        piece = neg ? u"-" + digits : digits;
        break;
      }
      case u'u':
      case u'x': {
        if (!isInt) FormatError(fmt);
        const uint64_t bits = UnsignedBits(a);
        piece = type == u'u' ? UnsignedToStr(bits) : IntToHex(bits, 0);
        if (prec > 0 && piece.size() < static_cast<size_t>(prec)) piece.insert(0, static_cast<size_t>(prec) - piece.size(), u'0');
        break;
      }
      case u's':
        if (kind != TFormatArg::Kind::Str) FormatError(fmt);
        piece = a.AsStr();
        if (prec >= 0 && piece.size() > static_cast<size_t>(prec)) piece.resize(static_cast<size_t>(prec));
        break;
      case u'f':
      case u'n':
        if (kind != TFormatArg::Kind::Float) FormatError(fmt);
        piece = FixedFormat(a.AsFloat(), prec < 0 ? 2 : static_cast<int>(prec), type == u'n' ? ThousandSeparator() : 0);
        break;
      case u'g':
        if (kind != TFormatArg::Kind::Float) FormatError(fmt);
        piece = GeneralFormat(a.AsFloat(), prec < 0 ? 15 : static_cast<int>(prec));
        break;
      case u'e':
        if (kind != TFormatArg::Kind::Float) FormatError(fmt);
        piece = ScientificFormat(a.AsFloat(), prec < 0 ? 15 : static_cast<int>(prec));
        break;
      default:
        FormatError(fmt);
    }
    if (piece.size() < static_cast<size_t>(width)) {
      const size_t pad = static_cast<size_t>(width) - piece.size();
      if (left) piece.append(pad, u' ');
      else piece.insert(0, pad, u' ');
    }
    out += piece;
  }
  return out;
}

// ---- date and time ---------------------------------------------------------

namespace {

constexpr int kDateDelta = 693594;  // 1899-12-30 counted with 0001-01-01 as day 1
constexpr double kMSecsPerDay = 86400000.0;
constexpr double kUnixDateDelta = 25569.0;  // 1970-01-01

bool IsLeapYear(int y) { return (y % 4 == 0) && (y % 100 != 0 || y % 400 == 0); }

int DaysInMonth(int y, int m) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return (m == 2 && IsLeapYear(y)) ? 29 : kDays[m - 1];
}

// A date-time counts whole days with a sign and adds the time of day as a
// positive fraction's magnitude: -1.25 is 29 December 1899, 06:00. These two
// move between that form and a plain linear day count.
double LinearFromDateTime(TDateTime v) {
  if (v >= 0) return v;
  const double day = std::trunc(v);
  return day + (day - v);
}

TDateTime DateTimeFromLinear(double t) {
  if (t >= 0) return t;
  const double day = std::floor(t);
  const double frac = t - day;
  return day - frac;
}

// Splits into the day (0001-01-01 is day 1) and milliseconds of
// the day, carrying a time that rounds up to midnight into the next day.
void SplitDateTime(TDateTime v, int64_t& date, int64_t& msecs) {
  if (!std::isfinite(v) || std::fabs(v) > 1e8) {
    date = 0;
    msecs = 0;
    return;
  }
  const double whole = std::trunc(v);
  msecs = static_cast<int64_t>(std::llround(std::fabs(v - whole) * kMSecsPerDay));
  date = kDateDelta + static_cast<int64_t>(whole);
  if (msecs >= static_cast<int64_t>(kMSecsPerDay)) {
    msecs -= static_cast<int64_t>(kMSecsPerDay);
    ++date;
  }
}

}  // namespace

bool TryEncodeDate(int year, int month, int day, TDateTime& value) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) return false;
  int64_t days = day;
  for (int m = 1; m < month; ++m) days += DaysInMonth(year, m);
  const int64_t y = year - 1;
  days += y * 365 + y / 4 - y / 100 + y / 400;
  value = static_cast<double>(days - kDateDelta);
  return true;
}

TDateTime EncodeDate(int year, int month, int day) {
  TDateTime v;
  if (!TryEncodeDate(year, month, day, v)) throw EConvertError(u"Invalid argument to date encode");
  return v;
}

TDateTime EncodeTime(int hour, int minute, int second, int millisecond) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || millisecond < 0 ||
      millisecond > 999)
    throw EConvertError(u"Invalid argument to time encode");
  return (hour * 3600000.0 + minute * 60000.0 + second * 1000.0 + millisecond) / kMSecsPerDay;
}

// Days outside 0001-01-01..9999-12-31 (and non-numbers) decode as 0-0-0.
void DecodeDate(TDateTime value, int& year, int& month, int& day) {
  int64_t date, msecs;
  SplitDateTime(value, date, msecs);
  year = month = day = 0;
  if (date <= 0 || date > 3652059) return;
  int64_t t = date - 1;  // days since 0001-01-01
  int64_t y = 1;
  y += 400 * (t / 146097);
  t %= 146097;
  int64_t c = t / 36524;
  if (c == 4) c = 3;  // last day of a 400-year cycle
  y += 100 * c;
  t -= c * 36524;
  y += 4 * (t / 1461);
  t %= 1461;
  int64_t yy = t / 365;
  if (yy == 4) yy = 3;  // last day of a 4-year cycle
  y += yy;
  t -= yy * 365;
  year = static_cast<int>(y);
  int m = 1;
  while (t >= DaysInMonth(year, m)) {
    t -= DaysInMonth(year, m);
    ++m;
  }
  month = m;
  day = static_cast<int>(t) + 1;
}

void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& millisecond) {
  int64_t date, msecs;
  SplitDateTime(value, date, msecs);
  hour = static_cast<int>(msecs / 3600000);
  minute = static_cast<int>(msecs / 60000 % 60);
  second = static_cast<int>(msecs / 1000 % 60);
  millisecond = static_cast<int>(msecs % 1000);
}

TDateTime UnixToDateTime(double unixSeconds) { return DateTimeFromLinear(kUnixDateDelta + unixSeconds / 86400.0); }

double DateTimeToUnix(TDateTime value) { return (LinearFromDateTime(value) - kUnixDateDelta) * 86400.0; }
