#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <filesystem>
#include <set>
#include <string>

#include "TestSupport.h"
#include "QvSysUtils.h"

namespace {

std::string Hex16(const WideString& s) {
  std::string r;
  for (char16_t c : s) {
    char buf[8];
    snprintf(buf, sizeof buf, "%04X ", static_cast<unsigned>(c));
    r += buf;
  }
  return r;
}


}  // namespace

// ---- UTF-8 -----------------------------------------------------------------

TEST(QvSysUtilsUtf8, RoundTripsEveryPlane) {
  const WideString w = u"A\u00E9\u4E2D\u6587\U0001F600z\uFFFF\U0010FFFF";
  const std::string u8 = WideToUtf8(w);
  EXPECT_EQ(u8, "A\xC3\xA9\xE4\xB8\xAD\xE6\x96\x87\xF0\x9F\x98\x80z\xEF\xBF\xBF\xF4\x8F\xBF\xBF");
  EXPECT_EQ(Utf8ToWide(u8), w);
  EXPECT_TRUE(WideToUtf8(u"").empty());
  EXPECT_TRUE(Utf8ToWide("").empty());
  // An embedded NUL is a character like any other.
  EXPECT_EQ(Utf8ToWide(std::string("a\0b", 3)), WideString(u"a\0b", 3));
}

TEST(QvSysUtilsUtf8, EachMaximalInvalidSubpartIsOneReplacement) {
  struct Case {
    std::string in;
    WideString out;
  } cases[] = {
      {"\x80", u"\uFFFD"},                                      // lone continuation
      {"a\xBF" "b", u"a\uFFFDb"},
      {"\xC0\x80", u"\uFFFD\uFFFD"},                            // overlong NUL: C0 never leads
      {"\xC1\xBF", u"\uFFFD\uFFFD"},
      {"\xE0\x80\x80", u"\uFFFD\uFFFD\uFFFD"},                  // overlong 3-byte
      {"\xE0\x9F\xBF", u"\uFFFD\uFFFD\uFFFD"},
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},                  // encoded surrogate
      {"\xED\xBF\xBF", u"\uFFFD\uFFFD\uFFFD"},
      {"\xF0\x8F\xBF\xBF", u"\uFFFD\uFFFD\uFFFD\uFFFD"},        // overlong 4-byte
      {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},        // above U+10FFFF
      {"\xF5\x80", u"\uFFFD\uFFFD"},
      {"\xFF\xFE", u"\uFFFD\uFFFD"},
      {"\xE4\xB8" "A", u"\uFFFD" "A"},                          // cut short by ASCII: one U+FFFD
      {"\xF0\x9F\x98" "A", u"\uFFFD" "A"},
      {"\xE4\xB8\xC3\xA9", u"\uFFFD\u00E9"},                    // cut short by a new lead
      {"\xF0\x9F\x98", u"\uFFFD"},                              // cut short by the end
      {"\xC3", u"\uFFFD"},
      {"x\xE0", u"x\uFFFD"},
  };
  for (const auto& c : cases) EXPECT_EQ(Hex16(Utf8ToWide(c.in)), Hex16(c.out)) << "input bytes: " << c.in.size();
}

TEST(QvSysUtilsUtf8, LengthBoundsTheInput) {
  // The lead byte's continuation lies beyond length and must not be read.
  const char data[] = {'a', '\xE4', '\xB8', '\xAD'};
  EXPECT_EQ(Hex16(Utf8ToWide(data, 2)), Hex16(u"a\uFFFD"));
  EXPECT_EQ(Utf8ToWide(data, 4), u"a\u4E2D");
  EXPECT_TRUE(Utf8ToWide(nullptr, 0).empty());
}

TEST(QvSysUtilsUtf8, UnpairedSurrogatesBecomeReplacement) {
  const std::string r = "\xEF\xBF\xBD";
  EXPECT_EQ(WideToUtf8(WideString(1, char16_t(0xD800))), r);
  EXPECT_EQ(WideToUtf8(WideString(1, char16_t(0xDC00)) + u"x"), r + "x");
  WideString reversed;
  reversed += char16_t(0xDE00);
  reversed += char16_t(0xD83D);
  EXPECT_EQ(WideToUtf8(reversed), r + r);
  WideString highThenText;
  highThenText += char16_t(0xD83D);
  highThenText += u'a';
  EXPECT_EQ(WideToUtf8(highThenText), r + "a");
}

// ---- text ------------------------------------------------------------------

TEST(QvSysUtilsText, CaseIgnoresAsciiLettersOnly) {
  EXPECT_TRUE(SameText(u"/Silent", u"/SILENT"));
  EXPECT_FALSE(SameText(u"abc", u"abcd"));
  EXPECT_FALSE(SameText(u"\u00E9", u"\u00C9"));  // non-ASCII letters are not folded
  EXPECT_FALSE(SameText(u"[", u"{"));            // differ by 32 but are not letters
  EXPECT_EQ(CompareText(u"abc", u"ABC"), 0);
  EXPECT_LT(CompareText(u"abc", u"abd"), 0);
  EXPECT_LT(CompareText(u"ab", u"ABC"), 0);
  EXPECT_GT(CompareText(u"b", u"A"), 0);
  EXPECT_EQ(UpperCase(u"aZ\u00E9"), u"AZ\u00E9");
  EXPECT_EQ(LowerCase(u"aZ\u00C9"), u"az\u00C9");
}

TEST(QvSysUtilsText, TrimAndPos) {
  EXPECT_EQ(Trim(u" \t\r\n x y \x01"), u"x y");
  EXPECT_EQ(TrimLeft(u"  x "), u"x ");
  EXPECT_EQ(TrimRight(u"  x "), u"  x");
  EXPECT_EQ(Trim(u"   "), u"");
  EXPECT_EQ(PosText(u"PROG", u"c:\\program files"), 3u);
  EXPECT_EQ(PosText(u"a", u"abca", 1), 3u);
  EXPECT_EQ(PosText(u"x", u"abc"), WideString::npos);
  EXPECT_EQ(PosText(u"", u"abc"), WideString::npos);
  EXPECT_EQ(PosText(u"abc", u"ab"), WideString::npos);
  EXPECT_EQ(PosText(u"a", u"a", 5), WideString::npos);
}

TEST(QvSysUtilsText, StringReplaceAllIgnoringCase) {
  EXPECT_EQ(StringReplace(u"{APP}\\x\\{app}", u"{app}", u"C:\\P"), u"C:\\P\\x\\C:\\P");
  EXPECT_EQ(StringReplace(u"aaa", u"aa", u"b"), u"ba");        // non-overlapping, left to right
  EXPECT_EQ(StringReplace(u"abab", u"a", u"aa"), u"aabaab");   // no rescanning of the replacement
  EXPECT_EQ(StringReplace(u"abc", u"", u"x"), u"abc");
  EXPECT_EQ(StringReplace(u"abc", u"ABC", u""), u"");
  EXPECT_EQ(StringReplace(u"abc", u"d", u"x"), u"abc");
}

// ---- paths -----------------------------------------------------------------

TEST(QvSysUtilsPaths, SplitAtLastBackslashOrColon) {
  EXPECT_EQ(ExtractFilePath(u"C:\\Dir\\Sub\\file.txt"), u"C:\\Dir\\Sub\\");
  EXPECT_EQ(ExtractFileName(u"C:\\Dir\\Sub\\file.txt"), u"file.txt");
  EXPECT_EQ(ExtractFilePath(u"C:file.txt"), u"C:");
  EXPECT_EQ(ExtractFileName(u"C:file.txt"), u"file.txt");
  EXPECT_EQ(ExtractFilePath(u"file.txt"), u"");
  EXPECT_EQ(ExtractFileName(u"C:\\Dir\\"), u"");
  // "/" is not a separator of these routines.
  EXPECT_EQ(ExtractFileName(u"a/b"), u"a/b");
}

TEST(QvSysUtilsPaths, ExtensionBelongsToTheNamePart) {
  EXPECT_EQ(ExtractFileExt(u"C:\\a\\setup.tar.gz"), u".gz");
  EXPECT_EQ(ExtractFileExt(u"C:\\a.b\\readme"), u"");
  EXPECT_EQ(ExtractFileExt(u"name."), u".");
  EXPECT_EQ(ExtractFileTitle(u"C:\\a\\setup.tar.gz"), u"setup.tar");
  EXPECT_EQ(ExtractFileTitle(u"C:\\a.b\\readme"), u"readme");
  EXPECT_EQ(ChangeFileExt(u"C:\\a\\setup.exe", u".xml"), u"C:\\a\\setup.xml");
  EXPECT_EQ(ChangeFileExt(u"C:\\a.b\\readme", u".txt"), u"C:\\a.b\\readme.txt");
  EXPECT_EQ(ChangeFileExt(u"x.txt", u""), u"x");
}

TEST(QvSysUtilsPaths, TrailingBackslash) {
  EXPECT_EQ(IncludeTrailingBackslash(u"C:\\App"), u"C:\\App\\");
  EXPECT_EQ(IncludeTrailingBackslash(u"C:\\App\\"), u"C:\\App\\");
  EXPECT_EQ(IncludeTrailingBackslash(u""), u"\\");
  EXPECT_EQ(ExcludeTrailingBackslash(u"C:\\App\\"), u"C:\\App");
  EXPECT_EQ(ExcludeTrailingBackslash(u"C:\\App"), u"C:\\App");
  EXPECT_EQ(ExcludeTrailingBackslash(u""), u"");
}

// ---- integers --------------------------------------------------------------

TEST(QvSysUtilsInt, AcceptedForms) {
  struct Case {
    const char16_t* text;
    int32_t value;
  } cases[] = {
      {u"0", 0},           {u"  42", 42},       {u"-42", -42},           {u"+7", 7},
      {u"$1F", 31},        {u"x1f", 31},        {u"X1F", 31},            {u"0x1F", 31},
      {u"0X1f", 31},       {u"-$10", -16},      {u"2147483647", INT32_MAX}, {u"-2147483648", INT32_MIN},
      {u"$7FFFFFFF", INT32_MAX}, {u"$FFFFFFFF", -1}, {u"0010", 10},       {u"$0000000001", 1},
  };
  for (const auto& c : cases) {
    int32_t v = 12345;
    EXPECT_TRUE(TryStrToInt(c.text, v)) << WideToUtf8(c.text);
    EXPECT_EQ(v, c.value) << WideToUtf8(c.text);
  }
}

TEST(QvSysUtilsInt, RejectedFormsLeaveValue) {
  const char16_t* bad[] = {u"",   u" ",     u"12 ",   u"1 2",        u"2147483648", u"-2147483649",
                           u"$100000000", u"0x", u"$", u"x",   u"1.5",        u"--1",
                           u"+-1", u"\t1",  u"0x-1", u"$G",   u"99999999999999999999"};
  for (const char16_t* s : bad) {
    int32_t v = 12345;
    EXPECT_FALSE(TryStrToInt(s, v)) << WideToUtf8(s);
    EXPECT_EQ(v, 12345);
  }
}

TEST(QvSysUtilsInt, SixtyFourBitRange) {
  int64_t v = 0;
  EXPECT_TRUE(TryStrToInt64(u"9223372036854775807", v));
  EXPECT_EQ(v, INT64_MAX);
  EXPECT_TRUE(TryStrToInt64(u"-9223372036854775808", v));
  EXPECT_EQ(v, INT64_MIN);
  EXPECT_TRUE(TryStrToInt64(u"2147483648", v));
  EXPECT_EQ(v, 2147483648LL);
  EXPECT_TRUE(TryStrToInt64(u"$FFFFFFFFFFFFFFFF", v));
  EXPECT_EQ(v, -1);
  EXPECT_FALSE(TryStrToInt64(u"9223372036854775808", v));
  EXPECT_FALSE(TryStrToInt64(u"$10000000000000000", v));
  EXPECT_EQ(IntToStr(INT64_MIN), u"-9223372036854775808");
  EXPECT_EQ(IntToStr(0), u"0");
  EXPECT_EQ(IntToHex(0xBEEF, 8), u"0000BEEF");
  EXPECT_EQ(IntToHex(0x12345, 2), u"12345");
  EXPECT_EQ(IntToHex(0, 0), u"0");
}

TEST(QvSysUtilsInt, StrToIntNamesTheText) {
  EXPECT_EQ(StrToInt(u" -$A"), -10);
  EXPECT_EQ(MessageOf<EConvertError>([] { StrToInt(u"12a"); }), u"'12a' is not a valid integer value");
  EXPECT_EQ(MessageOf<EConvertError>([] { StrToInt64(u""); }), u"'' is not a valid integer value");
}

// ---- floats ----------------------------------------------------------------

TEST(QvSysUtilsFloat, GeneralFormat) {
  ASSERT_EQ(DecimalSeparator(), u'.');  // the native build's separator
  struct Case {
    double value;
    const char16_t* text;
  } cases[] = {
      {0.0, u"0"},
      {-0.0, u"0"},
      {1.5, u"1.5"},
      {-1.5, u"-1.5"},
      {100, u"100"},
      {45000.1234567891, u"45000.1234567891"},
      {1.0 / 3, u"0.333333333333333"},
      {2.0 / 3, u"0.666666666666667"},
      {1e14, u"100000000000000"},
      {999999999999999.0, u"999999999999999"},
      {1e15, u"1E15"},
      {1.5e20, u"1.5E20"},
      {-1.5e20, u"-1.5E20"},
      {123456789012345678.0, u"1.23456789012346E17"},
      {0.0001, u"0.0001"},
      {0.00012345, u"0.00012345"},
      {1e-5, u"1E-5"},
      {1e-6, u"1E-6"},
      {2.5e-300, u"2.5E-300"},
      {0.1 + 0.2, u"0.3"},
      {9.9999999999999999e14, u"1E15"},  // rounding carries into a new digit
      {HUGE_VAL, u"INF"},
      {-HUGE_VAL, u"-INF"},
  };
  for (const auto& c : cases) EXPECT_EQ(FloatToStr(c.value), c.text) << c.value;
}

TEST(QvSysUtilsFloat, RoundTripsThroughFifteenDigits) {
  const double values[] = {45000.1234567891, 43831.5, 2958465.99998843, -693593.0, 1e-300, 1.7976931348623157e308,
                           0.1, 1234567.125, 3.14159265358979};
  for (double v : values) {
    double back = 0;
    ASSERT_TRUE(TryStrToFloat(FloatToStr(v), back)) << WideToUtf8(FloatToStr(v));
    // 15 significant digits: equal to within the 16th.
    EXPECT_NEAR(back, v, std::fabs(v) * 1e-15) << WideToUtf8(FloatToStr(v));
    EXPECT_EQ(FloatToStr(back), FloatToStr(v));
  }
}

TEST(QvSysUtilsFloat, ParsingRules) {
  struct Case {
    const char16_t* text;
    double value;
  } good[] = {{u" 1.5 ", 1.5}, {u"-2", -2},   {u"+.5", 0.5},    {u"5.", 5},        {u"1E3", 1000},
              {u"1e-3", 0.001}, {u"1.5E+2", 150}, {u"1e-400", 0}, {u"-INF", -HUGE_VAL}};
  for (const auto& c : good) {
    double v = -1;
    EXPECT_TRUE(TryStrToFloat(c.text, v)) << WideToUtf8(c.text);
    EXPECT_EQ(v, c.value) << WideToUtf8(c.text);
  }
  const char16_t* bad[] = {u"", u"  ", u"1,5", u"1e", u"e5", u".", u"-", u"1.5x", u"1e400", u"1..2", u"0x10", u"1 2"};
  for (const char16_t* s : bad) {
    double v = 7;
    EXPECT_FALSE(TryStrToFloat(s, v)) << WideToUtf8(s);
    EXPECT_EQ(v, 7);
  }
  double v = 0;
  EXPECT_TRUE(TryStrToFloat(u"NAN", v));
  EXPECT_TRUE(std::isnan(v));
}

// ---- Format ----------------------------------------------------------------

TEST(QvSysUtilsFormat, IntegersAndStrings) {
  EXPECT_EQ(Format(u"%s=%d", {u"x", 5}), u"x=5");
  EXPECT_EQ(Format(u"[%5d][%-5d]", {42, 42}), u"[   42][42   ]");
  EXPECT_EQ(Format(u"%.3d|%.3d|%.1d", {7, -7, 123}), u"007|-007|123");
  EXPECT_EQ(Format(u"%d", {INT64_MIN}), u"-9223372036854775808");
  EXPECT_EQ(Format(u"%u|%u", {-1, 5u}), u"4294967295|5");
  EXPECT_EQ(Format(u"%x|%X|%.4x|%x", {255, 255, 255, -1}), u"FF|FF|00FF|FFFFFFFF");
  EXPECT_EQ(Format(u"%d", {18446744073709551615ull}), u"18446744073709551615");
  const WideString name = u"Setup";
  EXPECT_EQ(Format(u"[%.3s][%8s][%-8s]", {name, name, name}), u"[Set][   Setup][Setup   ]");
  EXPECT_EQ(Format(u"100%%", {}), u"100%");
  EXPECT_EQ(Format(u"%S%D", {u"a", 1}), u"a1");  // type letters ignore case
}

TEST(QvSysUtilsFormat, IndexAndStar) {
  EXPECT_EQ(Format(u"%1:s %0:s %s", {u"a", u"b", u"c"}), u"b a b");
  EXPECT_EQ(Format(u"%0:s%0:s", {u"x"}), u"xx");
  EXPECT_EQ(Format(u"[%*d]", {4, 7}), u"[   7]");
  EXPECT_EQ(Format(u"[%-*.*d]", {5, 2, 7}), u"[07   ]");
  EXPECT_EQ(Format(u"[%.*s]", {2, u"abc"}), u"[ab]");
}

TEST(QvSysUtilsFormat, Floats) {
  EXPECT_EQ(Format(u"%f|%.3f|%.0f", {3.14159, 3.14159, 2.5}), u"3.14|3.142|2");
  EXPECT_EQ(Format(u"%f", {-0.001}), u"0.00");
  EXPECT_EQ(Format(u"%n|%.0n", {1234567.891, -1234.0}), u"1,234,567.89|-1,234");
  EXPECT_EQ(Format(u"%g|%g|%.3g", {0.5, 1e20, 1234.5}), u"0.5|1E20|1.23E3");
  EXPECT_EQ(Format(u"%e|%.3e", {1234.5, -0.000123}), u"1.23450000000000E+003|-1.23E-004");
  EXPECT_EQ(Format(u"%8.2f", {1.5}), u"    1.50");
}

TEST(QvSysUtilsFormat, MismatchNamesTheFormat) {
  const WideString expected = u"Format '%d' invalid or incompatible with argument";
  EXPECT_EQ(MessageOf<EConvertError>([] { Format(u"%d", {u"text"}); }), expected);
  EXPECT_EQ(MessageOf<EConvertError>([] { Format(u"%d", {}); }), expected);
  EXPECT_EQ(MessageOf<EConvertError>([] { Format(u"%d", {1.5}); }), expected);
  EXPECT_THROW(Format(u"%s", {1}), EConvertError);
  EXPECT_THROW(Format(u"%f", {1}), EConvertError);
  EXPECT_THROW(Format(u"%s %s", {u"one"}), EConvertError);
  EXPECT_THROW(Format(u"abc%", {1}), EConvertError);
  EXPECT_THROW(Format(u"%q", {1}), EConvertError);
  EXPECT_THROW(Format(u"%5:s", {u"a"}), EConvertError);
  EXPECT_THROW(Format(u"%*d", {u"a", 1}), EConvertError);
  EXPECT_THROW(Format(u"%99999999d", {1}), EConvertError);
}

// ---- dates -----------------------------------------------------------------

TEST(QvSysUtilsDate, KnownDays) {
  EXPECT_EQ(EncodeDate(1899, 12, 30), 0);
  EXPECT_EQ(EncodeDate(1900, 1, 1), 2);
  EXPECT_EQ(EncodeDate(1970, 1, 1), 25569);
  EXPECT_EQ(EncodeDate(2000, 3, 1), 36586);
  EXPECT_EQ(EncodeDate(9999, 12, 31), 2958465);
  EXPECT_EQ(EncodeDate(1, 1, 1), -693593);
  EXPECT_EQ(EncodeTime(12, 0, 0, 0), 0.5);
  EXPECT_EQ(EncodeTime(6, 0, 0, 0), 0.25);
}

TEST(QvSysUtilsDate, InvalidPartsRaise) {
  TDateTime v = 0;
  EXPECT_TRUE(TryEncodeDate(2000, 2, 29, v));
  EXPECT_FALSE(TryEncodeDate(1900, 2, 29, v));
  EXPECT_FALSE(TryEncodeDate(2001, 2, 29, v));
  EXPECT_FALSE(TryEncodeDate(2001, 4, 31, v));
  EXPECT_FALSE(TryEncodeDate(0, 1, 1, v));
  EXPECT_FALSE(TryEncodeDate(10000, 1, 1, v));
  EXPECT_FALSE(TryEncodeDate(2001, 13, 1, v));
  EXPECT_THROW(EncodeDate(2001, 0, 1), EConvertError);
  EXPECT_THROW(EncodeTime(24, 0, 0, 0), EConvertError);
  EXPECT_THROW(EncodeTime(0, 60, 0, 0), EConvertError);
  EXPECT_THROW(EncodeTime(0, 0, 0, 1000), EConvertError);
}

TEST(QvSysUtilsDate, DecodeInvertsEncodeOverTheWholeRange) {
  int y, m, d;
  int failures = 0;
  for (int day = -693593; day <= 2958465 && failures < 5; day += 13) {
    DecodeDate(day, y, m, d);
    TDateTime back = -1e9;
    if (!TryEncodeDate(y, m, d, back) || back != day) {
      ++failures;
      ADD_FAILURE() << "day " << day << " decoded as " << y << "-" << m << "-" << d;
    }
  }
  DecodeDate(EncodeDate(2000, 12, 31), y, m, d);
  EXPECT_EQ(y * 10000 + m * 100 + d, 20001231);
  DecodeDate(EncodeDate(2004, 2, 29), y, m, d);
  EXPECT_EQ(y * 10000 + m * 100 + d, 20040229);
  DecodeDate(-700000, y, m, d);
  EXPECT_EQ(y + m + d, 0);
}

TEST(QvSysUtilsDate, TimeOfDayAndNegativeDays) {
  int h, n, s, ms;
  DecodeTime(EncodeTime(23, 59, 59, 999), h, n, s, ms);
  EXPECT_EQ(h * 10000000 + n * 100000 + s * 1000 + ms, 235959999);
  // A time that rounds to midnight belongs to the next day.
  const TDateTime almost = EncodeDate(2000, 1, 1) + 0.9999999999;
  int y, m, d;
  DecodeDate(almost, y, m, d);
  DecodeTime(almost, h, n, s, ms);
  EXPECT_EQ(y * 10000 + m * 100 + d, 20000102);
  EXPECT_EQ(h + n + s + ms, 0);
  // Before day 0 the day counts backwards and the fraction still adds time.
  DecodeDate(-1.25, y, m, d);
  DecodeTime(-1.25, h, n, s, ms);
  EXPECT_EQ(y * 10000 + m * 100 + d, 18991229);
  EXPECT_EQ(h, 6);
}

TEST(QvSysUtilsDate, UnixTime) {
  EXPECT_EQ(UnixToDateTime(0), 25569);
  EXPECT_EQ(DateTimeToUnix(EncodeDate(2020, 1, 1)), 1577836800.0);
  EXPECT_EQ(UnixToDateTime(1577836800.0 + 43200), EncodeDate(2020, 1, 1) + 0.5);
  // 29 December 1899, 06:00 is -1.25 in date-time form.
  const double early = (-1 + 0.25 - 25569) * 86400.0;
  EXPECT_DOUBLE_EQ(UnixToDateTime(early), -1.25);
  EXPECT_DOUBLE_EQ(DateTimeToUnix(-1.25), early);
  EXPECT_DOUBLE_EQ(DateTimeToUnix(UnixToDateTime(-2208988800.0)), -2208988800.0);  // 1900-01-01
}

// ---- files, command line, GUIDs -------------------------------------------

namespace {

class QvSysUtilsFiles : public TempFolderTest {
protected:
  QvSysUtilsFiles() : TempFolderTest("qvsysutils_") {}
};

}  // namespace

TEST_F(QvSysUtilsFiles, ForceDirectoriesMakesEveryParent) {
  const WideString d(1, PathDelim());
  const WideString deep = Path(u"a" + d + u"b\u4E2D" + d + u"c" + d);
  EXPECT_FALSE(DirectoryExists(deep));
  EXPECT_TRUE(ForceDirectories(deep));
  EXPECT_TRUE(DirectoryExists(deep));
  EXPECT_TRUE(DirectoryExists(Path(u"a")));
  EXPECT_TRUE(ForceDirectories(deep));  // already there
  EXPECT_FALSE(FileExists(deep));
  EXPECT_EQ(MessageOf<EInOutError>([] { ForceDirectories(u""); }), u"Unable to create directory");
#ifdef _WIN32
  // Windows also takes "/" between folders.
  EXPECT_TRUE(ForceDirectories(Path(u"s1/s2\\s3")));
  EXPECT_TRUE(DirectoryExists(Path(u"s1\\s2\\s3")));
#endif
}

TEST_F(QvSysUtilsFiles, ForceDirectoriesFailsUnderAFile) {
  const WideString file = Path(u"plain");
  { std::FILE* f = std::fopen(WideToUtf8(file).c_str(), "wb"); ASSERT_TRUE(f); std::fclose(f); }
  EXPECT_TRUE(FileExists(file));
  EXPECT_FALSE(DirectoryExists(file));
  EXPECT_FALSE(ForceDirectories(file + PathDelim() + u"sub"));
  EXPECT_TRUE(DeleteFile(file));
  EXPECT_FALSE(FileExists(file));
  EXPECT_FALSE(DeleteFile(file));
  EXPECT_FALSE(DeleteFile(Utf8ToWide(FRoot.u8string())));  // folders are not files
  EXPECT_FALSE(FileExists(u""));
  EXPECT_FALSE(DirectoryExists(u""));
}

TEST(QvSysUtilsHost, GuidsAreFreshAndInRegistryForm) {
  std::set<WideString> seen;
  for (int i = 0; i < 200; ++i) {
    const WideString g = TQvStrfn::NewGUIDString();
    ASSERT_EQ(g.size(), 38u);
    EXPECT_EQ(g[0], u'{');
    EXPECT_EQ(g[37], u'}');
    for (size_t k = 1; k < 37; ++k) {
      if (k == 9 || k == 14 || k == 19 || k == 24) EXPECT_EQ(g[k], u'-');
      else EXPECT_TRUE((g[k] >= u'0' && g[k] <= u'9') || (g[k] >= u'A' && g[k] <= u'F')) << WideToUtf8(g);
    }
    seen.insert(g);
  }
  EXPECT_EQ(seen.size(), 200u);
}

TEST(QvSysUtilsHost, CommandLineAndErrors) {
  EXPECT_FALSE(ParamStr(0).empty());
  EXPECT_TRUE(ParamStr(-1).empty());
  EXPECT_TRUE(ParamStr(ParamCount() + 1).empty());
  const WideString text = SysErrorMessage(2);  // ENOENT and ERROR_FILE_NOT_FOUND alike
  EXPECT_FALSE(text.empty());
  EXPECT_NE(text.back(), u'.');
  EXPECT_GT(text.back(), u' ');
  EXPECT_EQ(ExpandFileName(ExpandFileName(u"x")), ExpandFileName(u"x"));
}
