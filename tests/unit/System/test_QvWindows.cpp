// The Windows groups of the utility unit and the registry object, against
// the real system (Wine here): files on disk, child processes, the
// registry read back through the plain API.
#ifdef _WIN32

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "QvClasses.h"
#include "QvRegistry.h"
#include "QvSysUtils.h"
#include "QvWinApi.h"
#include "QvWindows.h"
#include "TestSupport.h"

namespace {

WideString Quoted(const WideString& s) { return u"\"" + s + u"\""; }

// Started with this argument, the test program is the child of a process
// test: it answers with its exit code before any test runs.
const wchar_t kVersionChild[] = L"--qvwindows-child=version";

struct TChildMode {
  TChildMode() {
    if (std::wcsstr(::GetCommandLineW(), kVersionChild))
      ::ExitProcess((TQvWinfn::IsWinXPOrHigher() ? 1 : 0) | (TQvWinfn::IsWin7OrHigher() ? 2 : 0) |
                    (TQvWinfn::IsWin10OrHigher() ? 4 : 0));
  }
} gChildMode;

// ---- files ------------------------------------------------------------------

class QvWindowsFiles : public TempFolderTest {
protected:
  QvWindowsFiles() : TempFolderTest("qvwin-") {}

  WideString MakeFile(const WideString& name) {
    const WideString p = Path(name);
    TFileStream(p, fmCreate).WriteString("content");
    return p;
  }

  // "last access | last write" in local time, to the millisecond.
  static std::string LocalTimes(const WideString& path) {
    HANDLE h = ::CreateFileW(W(path), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    FILETIME ft[2] = {};
    ::GetFileTime(h, nullptr, &ft[0], &ft[1]);
    ::CloseHandle(h);
    std::string r;
    for (const FILETIME& utc : ft) {
      FILETIME local;
      SYSTEMTIME t = {};
      ::FileTimeToLocalFileTime(&utc, &local);
      ::FileTimeToSystemTime(&local, &t);
      char buf[40];
      snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u:%02u.%03u", t.wYear, t.wMonth, t.wDay, t.wHour,
               t.wMinute, t.wSecond, t.wMilliseconds);
      r += r.empty() ? buf : std::string(" | ") + buf;
    }
    return r;
  }
};

TEST_F(QvWindowsFiles, SetFileTimesStoresLocalTimesAndLeavesZeroTimesAlone) {
  const WideString file = MakeFile(u"times.txt");
  // Winter and summer, so that a daylight-saving shift in the conversion
  // would show in one of them. A missing local-to-UTC step shows only in a
  // zone other than UTC: run with TZ=Europe/Berlin, for example. Wine keeps
  // no creation time of its own on a Unix file system; it is not checked.
  TFileTimes times;
  times.LastWriteTime = EncodeDate(2021, 7, 14) + EncodeTime(13, 45, 30, 250);
  times.LastAccessTime = EncodeDate(2020, 1, 2) + EncodeTime(3, 4, 5, 600);
  ASSERT_TRUE(TQvFilefn::SetFileTimes(file, times));
  const std::string expected = "2020-01-02 03:04:05.600 | 2021-07-14 13:45:30.250";
  EXPECT_EQ(LocalTimes(file), expected);

  // All zero: the file is opened and closed, and no time moves.
  EXPECT_TRUE(TQvFilefn::SetFileTimes(file, TFileTimes()));
  EXPECT_EQ(LocalTimes(file), expected);

  // A file in use: another handle holds it without sharing.
  HANDLE h = ::CreateFileW(W(file), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(TQvFilefn::SetFileTimes(file, times));
  ::CloseHandle(h);
  EXPECT_FALSE(TQvFilefn::SetFileTimes(Path(u"missing.txt"), times));
}

TEST_F(QvWindowsFiles, ForceFileDirCreatesTheFolderOfAPath) {
  TQvFilefn::ForceFileDir(Path(u"a\\b\\c\\file.txt"));
  EXPECT_TRUE(DirectoryExists(Path(u"a\\b\\c")));
  EXPECT_FALSE(FileExists(Path(u"a\\b\\c\\file.txt")));
  TQvFilefn::ForceFileDir(u"bare-name.txt");  // no folder part: nothing to do

  // A file where a folder should be: the error names the folder and why.
  MakeFile(u"blocker");
  const WideString message =
      MessageOf<EInOutError>([&] { TQvFilefn::ForceFileDir(Path(u"blocker\\sub\\file.txt")); });
  const WideString start = u"Unable to create directory \"" + Path(u"blocker\\sub\\") + u"\": ";
  EXPECT_EQ(WideToUtf8(message.substr(0, start.size())), WideToUtf8(start));
  EXPECT_GT(message.size(), start.size()) << "the system's reason is missing";
}

TEST(QvWindowsSystem, TempDirIsAnExistingFolderWithABackslash) {
  const WideString temp = TQvWinfn::GetTempDir();
  ASSERT_GT(temp.size(), 1u);
  EXPECT_EQ(temp.back(), u'\\');
  EXPECT_TRUE(DirectoryExists(temp)) << WideToUtf8(temp);
  EXPECT_TRUE(TQvFilefn::LongPathName(temp + u"no-such-file.txt").empty());
}

// The thresholds of the version tests, with the version that Wine reports
// to a program chosen per program name in its registry.
TEST(QvWindowsSystem, VersionTestsFollowTheReportedVersion) {
  if (!::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version"))
    GTEST_SKIP() << "the reported version is chosen through Wine's settings";
  const WideString appKey = u"Software\\Wine\\AppDefaults\\" + ExtractFileName(ParamStr(0));
  const WideString child = Quoted(ParamStr(0)) + u" " + reinterpret_cast<const char16_t*>(kVersionChild);
  struct Case {
    const char16_t* version;
    uint32_t bits;  // XP, 7, 10
  } cases[] = {{u"winxp", 1}, {u"vista", 1}, {u"win7", 3}, {u"win81", 3}, {u"win10", 7}};
  for (const Case& c : cases) {
    {
      TRegistry reg;
      ASSERT_TRUE(reg.OpenKey(appKey, true));
      reg.WriteString(u"Version", c.version);
    }
    EXPECT_EQ(TQvWinfn::RunAndWait(child), c.bits) << WideToUtf8(c.version);
  }
  ::RegDeleteTreeW(HKEY_CURRENT_USER, W(appKey));
}

// ---- processes --------------------------------------------------------------

class QvWindowsProcesses : public TempFolderTest {
protected:
  QvWindowsProcesses() : TempFolderTest("qvproc-") {}

  // What RunConsole of commandLine writes to standard output, which goes to
  // a file meanwhile, as when the installer's output is redirected.
  std::string Relayed(const WideString& commandLine, uint32_t& code) {
    const WideString path = Path(u"out.txt");
    const HANDLE old = ::GetStdHandle(STD_OUTPUT_HANDLE);
    const HANDLE file = ::CreateFileW(W(path), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
    ::SetStdHandle(STD_OUTPUT_HANDLE, file);
    code = TQvWinfn::RunConsole(commandLine);
    ::SetStdHandle(STD_OUTPUT_HANDLE, old);
    ::CloseHandle(file);
    TMemoryStream s;
    s.LoadFromFile(path);
    return s.Bytes();
  }
};

TEST_F(QvWindowsProcesses, RunAndWaitReturnsTheExitCodeOrOne) {
  EXPECT_EQ(TQvWinfn::RunAndWait(u"cmd /c exit 7"), 7u);
  EXPECT_EQ(TQvWinfn::RunAndWait(Quoted(Path(u"no-such-program.exe"))), 1u);
}

TEST_F(QvWindowsProcesses, RunConsoleRelaysAllOutputToStandardOutput) {
  uint32_t code = 99;
  // Some kilobytes written at once, the child ending right after: most of
  // it is still in the pipe when the process has ended.
  std::string out = Relayed(u"cmd /c \"for /l %i in (1,1,400) do @echo line %i\"", code);
  EXPECT_EQ(code, 0u);
  // Every byte the child wrote, in order, however the pipe split it.
  std::string expected;
  for (int i = 1; i <= 400; ++i) expected += "line " + std::to_string(i) + "\r\n";
  EXPECT_EQ(out, expected) << "the output was cut or changed";

  EXPECT_EQ(Relayed(u"cmd /c \"echo last words& exit 3\"", code), "last words\r\n");
  EXPECT_EQ(code, 3u);
  EXPECT_EQ(TQvWinfn::RunConsole(Quoted(Path(u"no-such-program.exe"))), 1u);
}

// Two copies of one program, one in the folder whose file is named and one
// in another: only the named one is ended, whatever the case and the
// separators of the name; the caller stays although its own file is named.
TEST_F(QvWindowsProcesses, EndProcessesByPathEndsOnlyTheCopyOfThatFile) {
  const WideString probe = ExtractFilePath(ParamStr(0)) + u"probe.exe";
  if (!FileExists(probe)) GTEST_SKIP() << "no probe.exe beside the tests";
  std::vector<THandle> copies;
  for (const WideString folder : {u"Product", u"Other"}) {
    ASSERT_TRUE(ForceDirectories(Path(folder)));
    const WideString exe = Path(folder + u"\\app.exe");
    ASSERT_TRUE(::CopyFileW(W(probe), W(exe), FALSE));
    std::vector<wchar_t> cmd;
    for (char16_t c : Quoted(exe) + u" --stay") cmd.push_back(static_cast<wchar_t>(c));
    cmd.push_back(0);
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    ASSERT_TRUE(::CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                                 &si, &pi));
    ::CloseHandle(pi.hThread);
    copies.emplace_back(pi.hProcess);
  }
  ::Sleep(1000);
  const std::vector<WideString> paths{Path(u"PRODUCT/APP.EXE"), ParamStr(0), Path(u"Product\\missing.exe")};
  // At least the named copy; that nothing else of it was ended is what the
  // other copy, still running, shows.
  EXPECT_GE(TQvWinfn::EndProcessesByPath(paths, 3000), 1);
  EXPECT_EQ(::WaitForSingleObject(copies[0].get(), 0), WAIT_OBJECT_0) << "the named copy still runs";
  EXPECT_EQ(::WaitForSingleObject(copies[1].get(), 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "the other copy was ended";
  ::TerminateProcess(copies[1].get(), 0);
  ::WaitForSingleObject(copies[1].get(), 3000);
}

// ---- registry ---------------------------------------------------------------

class QvRegistry : public ::testing::Test {
protected:
  static constexpr const char16_t* kKey = u"Software\\setupkit-tests\\QvRegistry";
  void TearDown() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\setupkit-tests"); }

  // The value as stored, read past the registry object.
  static std::string Raw(const WideString& name, DWORD& type) {
    HKEY key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, W(kKey), 0, KEY_READ, &key) != ERROR_SUCCESS) return "<no key>";
    char buf[256];
    DWORD size = sizeof buf;
    const LONG rc = ::RegQueryValueExW(key, W(name), nullptr, &type, reinterpret_cast<BYTE*>(buf), &size);
    ::RegCloseKey(key);
    return rc == ERROR_SUCCESS ? std::string(buf, size) : "<no value>";
  }

  static void SetRaw(const WideString& name, DWORD type, const void* data, DWORD size) {
    HKEY key;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, W(kKey), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ::RegSetValueExW(key, W(name), 0, type, static_cast<const BYTE*>(data), size);
    ::RegCloseKey(key);
  }

  template <class F>
  static std::string Error(F&& f) { return WideToUtf8(MessageOf<ERegistryException>(f)); }
};

TEST_F(QvRegistry, WritesEachKindAsTheSystemStoresIt) {
  const WideString chinese = u"安装程序 Setup";
  const unsigned char blob[] = {0x00, 0x01, 0xFE, 0xFF, 0x80};
  {
    TRegistry reg(0x80000001u);
    // A leading backslash names the same key as the path without it.
    ASSERT_TRUE(reg.OpenKey(u"\\" + WideString(kKey), true));
    reg.WriteString(u"Name", chinese);
    reg.WriteInteger(u"Minus", -1);
    reg.WriteBinaryData(u"Blob", blob, sizeof blob);
  }
  DWORD type = REG_NONE;
  EXPECT_EQ(Raw(u"Name", type), std::string(reinterpret_cast<const char*>(chinese.c_str()), (chinese.size() + 1) * 2));
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(Raw(u"Minus", type), "\xFF\xFF\xFF\xFF");
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(Raw(u"Blob", type), std::string(reinterpret_cast<const char*>(blob), sizeof blob));
  EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));

  TRegistry reg;
  ASSERT_TRUE(reg.OpenKeyReadOnly(kKey));
  EXPECT_EQ(reg.ReadString(u"Name"), chinese);
  EXPECT_FALSE(reg.ValueExists(u"Missing"));
  EXPECT_EQ(reg.ReadString(u"Missing"), u"");
  EXPECT_EQ(Error([&] { reg.ReadString(u"Minus"); }), "Invalid data type for 'Minus'");
  // Opened for reading only: writing is refused.
  EXPECT_EQ(Error([&] { reg.WriteString(u"Name", u"x"); }), "Failed to set data for 'Name'");
  // A key that cannot be opened leaves none open, so no write lands in the
  // key that was open before.
  EXPECT_FALSE(reg.OpenKey(WideString(kKey) + u"\\missing", false));
  EXPECT_EQ(Error([&] { reg.WriteInteger(u"N", 1); }), "Failed to set data for 'N'");
}

TEST_F(QvRegistry, ReadsStringsOtherProgramsWroteCarelessly) {
  // No terminator, an odd byte count, extra zeros, an expandable string.
  SetRaw(u"NoZero", REG_SZ, u"abc", 6);
  SetRaw(u"Odd", REG_SZ, u"abc", 5);
  SetRaw(u"Zeros", REG_SZ, u"ab\0\0", 8);
  SetRaw(u"Expand", REG_EXPAND_SZ, u"%TEMP%\\x", 18);
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKeyReadOnly(kKey));
  EXPECT_EQ(reg.ReadString(u"NoZero"), u"abc");
  EXPECT_EQ(reg.ReadString(u"Odd"), u"ab");
  EXPECT_EQ(reg.ReadString(u"Zeros"), u"ab");
  EXPECT_EQ(reg.ReadString(u"Expand"), u"%TEMP%\\x");  // as stored, not expanded
}

}  // namespace

#endif  // _WIN32
