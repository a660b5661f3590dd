// Who may change a folder, judged on the descriptors Windows gives real
// folders, and on a real folder under this system.
#ifdef _WIN32

#include <windows.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include "QvFolderSecurity.h"
#include "QvSysUtils.h"
#include "QvWinApi.h"
#include "TestSupport.h"

namespace {

const wchar_t kInstallerService[] = L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

// The account this test runs as, in text form.
WideString RunningUser() {
  HANDLE token = nullptr;
  EXPECT_TRUE(::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token));
  BYTE buffer[256];
  DWORD size = 0;
  EXPECT_TRUE(::GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size));
  ::CloseHandle(token);
  wchar_t* text = nullptr;
  EXPECT_TRUE(::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text));
  const WideString sid(reinterpret_cast<const char16_t*>(text));
  ::LocalFree(text);
  return sid;
}

TEST(QvFolderSecurity, OnlyAdministratorsSystemAndTheRunningAccountMayChange) {
  const WideString ti = reinterpret_cast<const char16_t*>(kInstallerService);
  const WideString user = RunningUser();
  // Program Files as Windows ships it, with the inherit-only entries that
  // give a folder's creator its rights in new folders.
  const WideString programFiles = u"O:" + ti + u"D:PAI(A;;FA;;;" + ti + u")(A;CIIO;GA;;;" + ti +
                                  u")(A;;0x1301bf;;;SY)(A;OICIIO;GA;;;SY)(A;;0x1301bf;;;BA)(A;OICIIO;GA;;;BA)"
                                  u"(A;;0x1200a9;;;BU)(A;OICIIO;GXGR;;;BU)(A;OICIIO;GA;;;CO)";
  EXPECT_FALSE(TQvFolderSecurity::OthersMayChangeDescriptor(programFiles));
  // What the installer gives a product folder.
  EXPECT_FALSE(TQvFolderSecurity::OthersMayChangeDescriptor(
      u"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)"));
  // The running account's own folder: it may change what this program may.
  EXPECT_FALSE(TQvFolderSecurity::OthersMayChangeDescriptor(u"O:" + user + u"D:(A;OICI;FA;;;" + user +
                                                            u")(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;WD)"));
  // A denying entry takes nothing away that the judgement counts on.
  EXPECT_FALSE(TQvFolderSecurity::OthersMayChangeDescriptor(u"O:BAD:(D;;FA;;;AU)(A;;FA;;;BA)"));

  // A folder made at the root of a drive: authenticated users may modify.
  EXPECT_TRUE(TQvFolderSecurity::OthersMayChangeDescriptor(
      u"O:BAD:AI(A;OICIID;FA;;;BA)(A;OICIID;FA;;;SY)(A;OICIID;0x1200a9;;;BU)(A;ID;0x1301bf;;;AU)"));
  // Each right that lets code in or takes the folder over, given to users.
  for (const char16_t* right : {u"0x2", u"0x4", u"0x40", u"SD", u"WD", u"WO", u"GW", u"GA"})
    EXPECT_TRUE(TQvFolderSecurity::OthersMayChangeDescriptor(u"O:BAD:(A;;FA;;;BA)(A;;" + WideString(right) +
                                                             u";;;BU)"))
        << WideToUtf8(right);
  // Read and run for everyone is no change.
  EXPECT_FALSE(TQvFolderSecurity::OthersMayChangeDescriptor(u"O:BAD:(A;;FA;;;BA)(A;;0x1200a9;;;WD)"));
  // An owner who is someone else may rewrite any list.
  EXPECT_TRUE(TQvFolderSecurity::OthersMayChangeDescriptor(u"O:S-1-5-21-1-2-3-1001D:P(A;;FA;;;BA)"));
  // No list at all: everyone may do everything. (Wine reads
  // "D:NO_ACCESS_CONTROL" as an empty list, so it is left out.)
  EXPECT_TRUE(TQvFolderSecurity::OthersMayChangeDescriptor(u"O:BA"));
  // A text that does not parse tells nothing good.
  EXPECT_TRUE(TQvFolderSecurity::OthersMayChangeDescriptor(u"not a descriptor"));
}

class QvFolderSecurityOnDisk : public TempFolderTest {
protected:
  QvFolderSecurityOnDisk() : TempFolderTest("qvrights") {}
};

TEST_F(QvFolderSecurityOnDisk, ProtectedFolderAndMissingPath) {
  const WideString folder = Path(u"product");
  ASSERT_TRUE(::CreateDirectoryW(W(folder), nullptr));
  ASSERT_TRUE(TQvFolderSecurity::Protect(folder + u"\\"));
  EXPECT_FALSE(TQvFolderSecurity::OthersMayChange(folder + u"\\"));
  // What cannot be read is not trusted.
  EXPECT_TRUE(TQvFolderSecurity::OthersMayChange(folder + u"\\missing\\"));
  const WideString privateFolder = Path(u"private");
  EXPECT_TRUE(TQvFolderSecurity::CreatePrivate(privateFolder));
  EXPECT_FALSE(TQvFolderSecurity::CreatePrivate(privateFolder));
}

}  // namespace

#endif
