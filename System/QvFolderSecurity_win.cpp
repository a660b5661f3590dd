#include "QvFolderSecurity.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <string>
#include <vector>

#include "QvWinApi.h"

namespace {

// A security descriptor from its text form, freed with LocalFree.
struct TSecurityText {
  PSECURITY_DESCRIPTOR Descriptor = nullptr;
  explicit TSecurityText(const wchar_t* sddl) {
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &Descriptor, nullptr))
      Descriptor = nullptr;
  }
  ~TSecurityText() {
    if (Descriptor) ::LocalFree(Descriptor);
  }
  TSecurityText(const TSecurityText&) = delete;
  TSecurityText& operator=(const TSecurityText&) = delete;
};

// A product folder's rights: owned by the administrators, full control
// for them and SYSTEM, read and run for users, passed on to everything
// inside, nothing inherited. The second form leaves the owner to the
// system, for a process that may not name the administrators as owner.
const wchar_t kProductRights[] = L"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)";
const wchar_t kProductRightsNoOwner[] = L"D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)";

bool CreateFolderWith(const wchar_t* path, const wchar_t* sddl) {
  const TSecurityText security(sddl);
  if (!security.Descriptor) return false;
  SECURITY_ATTRIBUTES attributes = {};
  attributes.nLength = sizeof attributes;
  attributes.lpSecurityDescriptor = security.Descriptor;
  return ::CreateDirectoryW(path, &attributes) != 0;
}

// A SID from its text form, freed with LocalFree.
struct TSidText {
  PSID Sid = nullptr;
  explicit TSidText(const wchar_t* text) {
    if (!::ConvertStringSidToSidW(text, &Sid)) Sid = nullptr;
  }
  ~TSidText() {
    if (Sid) ::LocalFree(Sid);
  }
  TSidText(const TSidText&) = delete;
  TSidText& operator=(const TSidText&) = delete;
};

// The account of this process's token, copied.
std::vector<BYTE> ProcessUser() {
  HANDLE raw = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw)) return {};
  const auto token = Owned(raw);
  DWORD size = 0;
  ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
  std::vector<BYTE> info(size);
  if (size == 0 || !::GetTokenInformation(token.get(), TokenUser, info.data(), size, &size)) return {};
  const PSID sid = reinterpret_cast<TOKEN_USER*>(info.data())->User.Sid;
  std::vector<BYTE> copy(::GetLengthSid(sid));
  if (!::CopySid(static_cast<DWORD>(copy.size()), copy.data(), sid)) return {};
  return copy;
}

// Who may change what the installer trusts: the administrators, SYSTEM,
// the system's installer service, and the account running this program.
class TTrusted {
public:
  TTrusted() : FUser(ProcessUser()) {}
  bool Holds(PSID sid) const {
    if (!sid || !::IsValidSid(sid)) return false;
    if (!FUser.empty() && ::EqualSid(sid, const_cast<BYTE*>(FUser.data()))) return true;
    return ::IsWellKnownSid(sid, WinBuiltinAdministratorsSid) || ::IsWellKnownSid(sid, WinLocalSystemSid) ||
           (FInstaller.Sid && ::EqualSid(sid, FInstaller.Sid));
  }

private:
  std::vector<BYTE> FUser;
  TSidText FInstaller{L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464"};
};

// The rights that let someone put code where it would be run, or take
// the folder's rights: adding or replacing files and folders, deleting,
// changing the rights or the owner.
constexpr ACCESS_MASK kChangeRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_DELETE_CHILD | DELETE | WRITE_DAC |
                                      WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

bool OthersMayChange(PSECURITY_DESCRIPTOR descriptor) {
  const TTrusted trusted;
  PSID owner = nullptr;
  BOOL defaulted = FALSE;
  // The owner may always rewrite the access list.
  if (!::GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) || !trusted.Holds(owner)) return true;
  BOOL present = FALSE;
  PACL dacl = nullptr;
  if (!::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted)) return true;
  if (!present || !dacl) return true;  // no access list: everyone may do everything
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* raw = nullptr;
    if (!::GetAce(dacl, i, &raw)) return true;
    const auto* header = static_cast<const ACE_HEADER*>(raw);
    if (header->AceFlags & INHERIT_ONLY_ACE) continue;
    if (header->AceType == ACCESS_DENIED_ACE_TYPE || header->AceType == ACCESS_DENIED_CALLBACK_ACE_TYPE ||
        header->AceType == SYSTEM_AUDIT_ACE_TYPE || header->AceType == SYSTEM_ALARM_ACE_TYPE)
      continue;
    // Any other kind of entry that allows is judged as allowing: only the
    // plain one's layout is read.
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) return true;
    const auto* ace = static_cast<const ACCESS_ALLOWED_ACE*>(raw);
    if ((ace->Mask & kChangeRights) == 0) continue;
    const PSID sid = const_cast<DWORD*>(&ace->SidStart);
    // "CREATOR OWNER" outside inheritance gives nothing; "OWNER RIGHTS"
    // gives the owner, judged above.
    if (::IsWellKnownSid(sid, WinCreatorOwnerSid) || ::IsWellKnownSid(sid, WinCreatorOwnerRightsSid)) continue;
    if (!trusted.Holds(sid)) return true;
  }
  return false;
}

// The path as the security calls take it: a folder without its trailing
// backslash, a drive root ("C:\\") with it.
std::wstring SecurityPath(const WideString& path) {
  std::wstring p(W(path));
  while (p.size() > 3 && (p.back() == L'\\' || p.back() == L'/')) p.pop_back();
  return p;
}

}  // namespace

bool TQvFolderSecurity::OthersMayChange(const WideString& path) {
  PSECURITY_DESCRIPTOR raw = nullptr;
  if (::GetNamedSecurityInfoW(SecurityPath(path).c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                              nullptr, nullptr, nullptr, nullptr, &raw) != ERROR_SUCCESS)
    return true;
  const bool others = ::OthersMayChange(raw);
  ::LocalFree(raw);
  return others;
}

bool TQvFolderSecurity::OthersMayChangeDescriptor(const WideString& sddl) {
  const TSecurityText text(W(sddl));
  return !text.Descriptor || ::OthersMayChange(text.Descriptor);
}

bool TQvFolderSecurity::Protect(const WideString& path) {
  const TSecurityText text(kProductRights);
  if (!text.Descriptor) return false;
  PSID owner = nullptr;
  PACL dacl = nullptr;
  BOOL present = FALSE, defaulted = FALSE;
  if (!::GetSecurityDescriptorOwner(text.Descriptor, &owner, &defaulted) ||
      !::GetSecurityDescriptorDacl(text.Descriptor, &present, &dacl, &defaulted))
    return false;
  std::wstring target = SecurityPath(path);
  wchar_t* name = &target[0];
  const SECURITY_INFORMATION daclInfo = DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION;
  if (::SetNamedSecurityInfoW(name, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | daclInfo, owner, nullptr, dacl,
                              nullptr) == ERROR_SUCCESS)
    return true;
  return ::SetNamedSecurityInfoW(name, SE_FILE_OBJECT, daclInfo, nullptr, nullptr, dacl, nullptr) == ERROR_SUCCESS;
}

bool TQvFolderSecurity::CreateProtected(const WideString& path) {
  const std::wstring target = SecurityPath(path);
  if (CreateFolderWith(target.c_str(), kProductRights)) return true;
  return ::GetLastError() != ERROR_ALREADY_EXISTS && CreateFolderWith(target.c_str(), kProductRightsNoOwner);
}

bool TQvFolderSecurity::CreatePrivate(const WideString& path) {
  // Protected (nothing inherited from the parent): full control for
  // administrators and SYSTEM, passed on to everything created inside.
  return CreateFolderWith(W(path), L"D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)");
}
