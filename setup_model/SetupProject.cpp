#include "SetupProject.h"

#include <vector>

#include "QvSysUtils.h"

namespace {

const std::vector<std::string> kRegRootKeyNames = {"rrkClassesRoot", "rrkCurrentUser", "rrkLocalMachine", "rrkUsers",
                                                   "rrkCurrentConfig"};
const std::vector<std::string> kRegValueTypeNames = {"rvtString", "rvtDWord"};
const std::vector<std::string> kGotoUrlModeNames = {"gumSilent", "gumByBrowser"};
const std::vector<std::string> kWinVersionNames = {"wveWinXPOrHigher", "wveWin7OrHigher", "wveWin10OrHigher"};
const std::vector<std::string> kUninstallRunWaitTypeNames = {"urwNoWait", "urwWaitClose", "urwWaitSeconds"};

bool IsVersionBlank(WideChar c) { return c <= u' '; }

// The version text cut at dots, blanks separating as well: leading blanks
// are skipped, blanks around a dot belong to the separator, two dots in a
// row give an empty part and so does a dot at the very end.
std::vector<WideString> SplitVersion(const WideString& s) {
  std::vector<WideString> parts;
  size_t p = 0;
  const size_t n = s.size();
  while (p < n && IsVersionBlank(s[p])) ++p;
  while (p < n) {
    const size_t start = p;
    while (p < n && s[p] > u' ' && s[p] != u'.') ++p;
    parts.push_back(s.substr(start, p - start));
    while (p < n && IsVersionBlank(s[p])) ++p;
    if (p < n && s[p] == u'.') {
      if (p + 1 == n) parts.emplace_back();
      ++p;
      while (p < n && IsVersionBlank(s[p])) ++p;
    }
  }
  return parts;
}

// The value of a part's leading digits (after an optional sign), for a part
// that is not a whole integer: "1beta" reads as 1. Stops before the value
// would leave the 32-bit range.
int32_t LeadingDigitsValue(const WideString& s) {
  size_t p = 0;
  bool negative = false;
  if (p < s.size() && (s[p] == u'+' || s[p] == u'-')) negative = s[p++] == u'-';
  int64_t value = 0;
  for (; p < s.size() && s[p] >= u'0' && s[p] <= u'9'; ++p) {
    const int64_t next = value * 10 + (s[p] - u'0');
    if (next > INT32_MAX) break;
    value = next;
  }
  return static_cast<int32_t>(negative ? -value : value);
}

}  // namespace

uint32_t RegRootKeyToHKEY(TRegRootKey rootKey) {
  switch (rootKey) {
    case rrkClassesRoot: return 0x80000000u;
    case rrkCurrentUser: return 0x80000001u;
    case rrkLocalMachine: return 0x80000002u;
    case rrkUsers: return 0x80000003u;
    case rrkCurrentConfig: return 0x80000005u;
  }
  return 0x80000001u;
}

// ---- TSetupBaseInfo ---------------------------------------------------------

const TClassInfo& TSetupBaseInfo::StaticClassInfo() {
  using C = TSetupBaseInfo;
  static const TClassInfo info("TSetupBaseInfo", &TXmlPersistent::StaticClassInfo(), {
      BoolProp("AllowModify", &C::AllowModify),
      WStrProp("AppTitleCHS", &C::AppTitleCHS),
      WStrProp("AppTitleCHT", &C::AppTitleCHT),
      WStrProp("AppTitleENG", &C::AppTitleENG),
      BoolProp("BuildMiniSetup", &C::BuildMiniSetup),
      WStrProp("CompanyName", &C::CompanyName),
      WStrProp("CompanyUrl", &C::CompanyUrl),
      WStrProp("Condition", &C::Condition),
      WStrProp("DefInstallPath", &C::DefInstallPath),
      WStrProp("FullDownloadUrl", &C::FullDownloadUrl),
      WStrProp("FullSetupFile", &C::FullSetupFile),
      WStrProp("GotoUrl", &C::GotoUrl),
      EnumProp("GotoUrlMode", &C::GotoUrlMode, "TGotoUrlMode", kGotoUrlModeNames),
      WStrProp("GUID", &C::GUID),
      WStrProp("IconFile", &C::IconFile),
      WStrProp("IconResID", &C::IconResID),
      WStrProp("InstallFileDescription", &C::InstallFileDescription),
      WStrProp("LegalCopyright", &C::LegalCopyright),
      WStrProp("LicenseCHSResID", &C::LicenseCHSResID),
      WStrProp("LicenseCHTResID", &C::LicenseCHTResID),
      WStrProp("LicenseENGResID", &C::LicenseENGResID),
      WStrProp("LicenseFileCHS", &C::LicenseFileCHS),
      WStrProp("LicenseFileCHT", &C::LicenseFileCHT),
      WStrProp("LicenseFileENG", &C::LicenseFileENG),
      IntegerProp("MainFormColor", &C::MainFormColor, "TColor"),
      WStrProp("MiniSetupFile", &C::MiniSetupFile),
      WStrProp("ProductName", &C::ProductName),
      WStrProp("UninstallFileDescription", &C::UninstallFileDescription),
      WStrProp("Version", &C::Version),
      EnumProp("WinVersion", &C::WinVersion, "TWinVersionEnum", kWinVersionNames),
  });
  return info;
}

TSetupBaseInfo::TSetupBaseInfo() : GUID(TQvStrfn::NewGUIDString()) {}

void TSetupBaseInfo::LoadFromNode(TXmlNode* node, int options) {
  TXmlPersistent::LoadFromNode(node, options);
  // Scripts from before the three languages carried one title and one
  // license; they were Simplified Chinese.
  if (const TXmlAttribute* a = node->FindAttribute(u"AppTitle")) AppTitleCHS = a->GetValue();
  if (const TXmlAttribute* a = node->FindAttribute(u"LicenseFile")) LicenseFileCHS = a->GetValue();
  if (const TXmlAttribute* a = node->FindAttribute(u"LicenseResID")) LicenseCHSResID = a->GetValue();
}

// Parts are read into major, minor, release and build while they are whole
// integers (decimal, or hexadecimal after "$" or "0x"); the first part that
// is not gives the value of its leading digits and ends the decoding, so
// "3.1beta.7" is 3, 1, 0, 0.
void TSetupBaseInfo::DecodeVersion(int32_t& major, int32_t& minor, int32_t& release, int32_t& build) const {
  int32_t* outputs[] = {&major, &minor, &release, &build};
  for (int32_t* o : outputs) *o = 0;
  const std::vector<WideString> parts = SplitVersion(Version);
  for (size_t i = 0; i < parts.size() && i < 4; ++i) {
    if (!TryStrToInt(parts[i], *outputs[i])) {
      *outputs[i] = LeadingDigitsValue(parts[i]);
      return;
    }
  }
}

// ---- items ------------------------------------------------------------------

const TClassInfo& TBaseSetupItem::StaticClassInfo() {
  static const TClassInfo info("TBaseSetupItem", &TXmlPersistent::StaticClassInfo(), {
      BoolProp("Checked", &TBaseSetupItem::Checked),
  });
  return info;
}

const TClassInfo& TBaseConditionItem::StaticClassInfo() {
  static const TClassInfo info("TBaseConditionItem", &TBaseSetupItem::StaticClassInfo(), {
      WStrProp("Condition", &TBaseConditionItem::Condition),
  });
  return info;
}

void TBaseConditionItem::ApplyVariables(const TSetupVarList& vars) { Condition = vars.Expand(Condition); }

const TClassInfo& TSetupFile::StaticClassInfo() {
  using C = TSetupFile;
  static const TClassInfo info("TSetupFile", &TBaseConditionItem::StaticClassInfo(), {
      WStrProp("DestDir", &C::DestDir),
      IntegerProp("FileBytes", &C::FileBytes),
      BoolProp("IncludeSubPath", &C::IncludeSubPath),
      FloatProp("LastWriteDate", &C::LastWriteDate, "TDateTime"),
      WStrProp("ResID", &C::ResID),
      WStrProp("SourceMask", &C::SourceMask),
      WStrProp("SourcePath", &C::SourcePath),
      WStrProp("NewFileName", &C::NewFileName),
  });
  return info;
}

void TSetupFile::ApplyVariables(const TSetupVarList& vars) {
  TBaseConditionItem::ApplyVariables(vars);
  DestDir = vars.Expand(DestDir);
  SourceMask = vars.Expand(SourceMask);
  SourcePath = vars.Expand(SourcePath);
  NewFileName = vars.Expand(NewFileName);
}

const TClassInfo& TSetupReg::StaticClassInfo() {
  using C = TSetupReg;
  static const TClassInfo info("TSetupReg", &TBaseConditionItem::StaticClassInfo(), {
      EnumProp("RootKey", &C::RootKey, "TRegRootKey", kRegRootKeyNames),
      WStrProp("SubKey", &C::SubKey),
      WStrProp("ValueData", &C::ValueData),
      WStrProp("ValueName", &C::ValueName),
      EnumProp("ValueType", &C::ValueType, "TRegValueType", kRegValueTypeNames),
  });
  return info;
}

void TSetupReg::ApplyVariables(const TSetupVarList& vars) {
  TBaseConditionItem::ApplyVariables(vars);
  SubKey = vars.Expand(SubKey);
  ValueData = vars.Expand(ValueData);
  ValueName = vars.Expand(ValueName);
}

const TClassInfo& TSetupShortCut::StaticClassInfo() {
  using C = TSetupShortCut;
  static const TClassInfo info("TSetupShortCut", &TBaseConditionItem::StaticClassInfo(), {
      WStrProp("DstFile", &C::DstFile),
      WStrProp("IconFile", &C::IconFile),
      WStrProp("Name", &C::Name),
      WStrProp("SaveDir", &C::SaveDir),
      WStrProp("WorkDir", &C::WorkDir),
  });
  return info;
}

void TSetupShortCut::ApplyVariables(const TSetupVarList& vars) {
  TBaseConditionItem::ApplyVariables(vars);
  DstFile = vars.Expand(DstFile);
  IconFile = vars.Expand(IconFile);
  Name = vars.Expand(Name);
  SaveDir = vars.Expand(SaveDir);
  WorkDir = vars.Expand(WorkDir);
}

const TClassInfo& TSetupRun::StaticClassInfo() {
  using C = TSetupRun;
  static const TClassInfo info("TSetupRun", &TBaseConditionItem::StaticClassInfo(), {
      WStrProp("FileName", &C::FileName),
      WStrProp("Params", &C::Params),
      BoolProp("Wait", &C::Wait),
      WStrProp("WorkDir", &C::WorkDir),
  });
  return info;
}

void TSetupRun::ApplyVariables(const TSetupVarList& vars) {
  TBaseConditionItem::ApplyVariables(vars);
  Params = vars.Expand(Params);
  FileName = vars.Expand(FileName);
  WorkDir = vars.Expand(WorkDir);
}

const TClassInfo& TUninstallRun::StaticClassInfo() {
  using C = TUninstallRun;
  static const TClassInfo info("TUninstallRun", &TBaseConditionItem::StaticClassInfo(), {
      WStrProp("FileName", &C::FileName),
      WStrProp("Params", &C::Params),
      IntegerProp("WaitSeconds", &C::WaitSeconds),
      EnumProp("WaitType", &C::WaitType, "TUninstallRunWaitType", kUninstallRunWaitTypeNames),
      WStrProp("WorkDir", &C::WorkDir),
  });
  return info;
}

void TUninstallRun::ApplyVariables(const TSetupVarList& vars) {
  TBaseConditionItem::ApplyVariables(vars);
  Params = vars.Expand(Params);
  FileName = vars.Expand(FileName);
  WorkDir = vars.Expand(WorkDir);
}

const TClassInfo& TSetupSwiper::StaticClassInfo() {
  static const TClassInfo info("TSetupSwiper", &TBaseConditionItem::StaticClassInfo(), {
      WStrProp("FileName", &TSetupSwiper::FileName),
      WStrProp("ResID", &TSetupSwiper::ResID),
  });
  return info;
}

void TSetupSwiper::ApplyVariables(const TSetupVarList& vars) {
  TBaseConditionItem::ApplyVariables(vars);
  FileName = vars.Expand(FileName);
}

const TClassInfo& TSetupVar::StaticClassInfo() {
  static const TClassInfo info("TSetupVar", &TBaseSetupItem::StaticClassInfo(), {
      WStrProp("VarName", &TSetupVar::VarName),
      WStrProp("VarValue", &TSetupVar::VarValue),
  });
  return info;
}

// ---- lists ------------------------------------------------------------------

const TClassInfo& TSetupItemList::StaticClassInfo() {
  static const TClassInfo info("TSetupItemList", &TXmlObjectList::StaticClassInfo(), {});
  return info;
}

#define QV_SETUP_LIST_INFO(ListClass)                                                         \
  const TClassInfo& ListClass::StaticClassInfo() {                                            \
    static const TClassInfo info(#ListClass, &TSetupItemList::StaticClassInfo(), {});         \
    return info;                                                                              \
  }

QV_SETUP_LIST_INFO(TSetupFileList)
QV_SETUP_LIST_INFO(TSetupRegList)
QV_SETUP_LIST_INFO(TSetupShortCutList)
QV_SETUP_LIST_INFO(TSetupRunList)
QV_SETUP_LIST_INFO(TUninstallRunList)
QV_SETUP_LIST_INFO(TSetupSwiperList)
QV_SETUP_LIST_INFO(TSetupVarList)

#undef QV_SETUP_LIST_INFO

int TSetupRunList::NoWaitCount() const {
  int count = 0;
  for (int i = 0; i < Count(); ++i)
    if (!Items(i)->Wait) ++count;
  return count;
}

TSetupVarList::TSetupVarList() { AddDefaultVars(); }

int TSetupVarList::IndexOfVar(const WideString& name) const {
  for (int i = 0; i < Count(); ++i)
    if (SameText(Items(i)->VarName, name)) return i;
  return -1;
}

TSetupVar* TSetupVarList::FindVar(const WideString& name) const {
  const int i = IndexOfVar(name);
  return i < 0 ? nullptr : Items(i);
}

TSetupVar* TSetupVarList::VarByName(const WideString& name) {
  if (TSetupVar* v = FindVar(name)) return v;
  auto v = std::make_unique<TSetupVar>();
  v->VarName = name;
  TSetupVar* result = v.get();
  Add(std::move(v));
  return result;
}

void TSetupVarList::AddDefaultVars() {
  VarByName(u"{AppTitle}")->VarValue = u"AppTitle";
  VarByName(u"{Version}")->VarValue = u"1.0.0.0";
  VarByName(u"{MainExeName}")->VarValue = u"MyApp";
  VarByName(u"{GUID}")->VarValue = TQvStrfn::NewGUIDString();
  VarByName(u"{AppID}")->VarValue = u"10033";
  VarByName(u"{Copyright}")->VarValue.clear();
  VarByName(u"{CompanyName}")->VarValue.clear();
  VarByName(u"{CompanyUrl}")->VarValue.clear();
  VarByName(u"{DefaultFolder}")->VarValue.clear();
  VarByName(u"{Condition}")->VarValue.clear();
}

WideString TSetupVarList::Expand(const WideString& text) const {
  WideString result = text;
  for (int i = 0; i < Count(); ++i) {
    const TSetupVar* v = Items(i);
    if (v->Checked) result = StringReplace(result, v->VarName, v->VarValue);
  }
  return result;
}

// ---- TSetupScript -----------------------------------------------------------

const TClassInfo& TSetupScript::StaticClassInfo() {
  using C = TSetupScript;
  static const TClassInfo info("TSetupScript", &TXmlPersistent::StaticClassInfo(), {
      ObjectProp("BaseInfo", &C::FBaseInfo, "TSetupBaseInfo"),
      ObjectProp("FileList", &C::FFileList, "TSetupFileList"),
      ObjectProp("RegList", &C::FRegList, "TSetupRegList"),
      ObjectProp("RunList", &C::FRunList, "TSetupRunList"),
      ObjectProp("UninstallRunList", &C::FUninstallRunList, "TUninstallRunList"),
      ObjectProp("ShortCutList", &C::FShortCutList, "TSetupShortCutList"),
      ObjectProp("SwiperList", &C::FSwiperList, "TSetupSwiperList"),
      ObjectProp("VarList", &C::FVarList, "TSetupVarList"),
  });
  return info;
}

TSetupScript::TSetupScript()
    : FBaseInfo(std::make_unique<TSetupBaseInfo>()),
      FFileList(std::make_unique<TSetupFileList>()),
      FRegList(std::make_unique<TSetupRegList>()),
      FShortCutList(std::make_unique<TSetupShortCutList>()),
      FRunList(std::make_unique<TSetupRunList>()),
      FUninstallRunList(std::make_unique<TUninstallRunList>()),
      FSwiperList(std::make_unique<TSetupSwiperList>()),
      FVarList(std::make_unique<TSetupVarList>()) {}

TSetupScript::~TSetupScript() {
  FBaseInfo.reset();
  FFileList.reset();
  FRegList.reset();
  FShortCutList.reset();
  FRunList.reset();
  FUninstallRunList.reset();
  FSwiperList.reset();
  FVarList.reset();
}
