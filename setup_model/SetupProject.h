// The setup script: the object tree that describes one product's
// installation, its items and lists, the script variables, and the
// enumerations written into its XML form.
#pragma once

#include <cstdint>
#include <memory>

#include "QvTypes.h"
#include "QvXmlUtils.h"

// The unit name that this unit's assertion failures carry.
#define SETUPPROJECT_UNIT u"setup_model\\SetupProject"

// A colour as Windows stores it: 0x00BBGGRR.
using TColor = int32_t;

// ---- enumerations (the value names are the XML form) ---------------------

enum TRegRootKey { rrkClassesRoot, rrkCurrentUser, rrkLocalMachine, rrkUsers, rrkCurrentConfig };
enum TRegValueType { rvtString, rvtDWord };
enum TGotoUrlMode { gumSilent, gumByBrowser };
enum TWinVersionEnum { wveWinXPOrHigher, wveWin7OrHigher, wveWin10OrHigher };
enum TUninstallRunWaitType { urwNoWait, urwWaitClose, urwWaitSeconds };

// The predefined registry root for a root key, as the numeric value that
// HKEY_CLASSES_ROOT (0x80000000) .. HKEY_CURRENT_CONFIG (0x80000005) stand
// for. The portable model cannot name an HKEY; the registry code turns the
// value into one with reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(
// static_cast<LONG>(value))), the same sign extension the Windows headers
// apply, so it stays right in a 64-bit build too. Values outside the
// enumeration give HKEY_CURRENT_USER.
uint32_t RegRootKeyToHKEY(TRegRootKey rootKey);

class TSetupVarList;

// ---- base information -----------------------------------------------------

class TSetupBaseInfo : public TXmlPersistent {
  QV_PERSISTENT(TSetupBaseInfo)
public:
  TSetupBaseInfo();

  // Reads the attributes of the older single-language form too; they
  // overwrite the Simplified Chinese properties.
  void LoadFromNode(TXmlNode* node, int options) override;
  // The four numbers of Version; see the source for how far a malformed
  // version is read.
  void DecodeVersion(int32_t& major, int32_t& minor, int32_t& release, int32_t& build) const;

  bool AllowModify = false;
  WideString AppTitleCHS;
  WideString AppTitleCHT;
  WideString AppTitleENG;
  bool BuildMiniSetup = false;
  WideString CompanyName;
  WideString CompanyUrl;
  WideString Condition;
  WideString DefInstallPath;
  WideString FullDownloadUrl;
  WideString FullSetupFile;
  WideString GotoUrl;
  TGotoUrlMode GotoUrlMode = gumSilent;
  WideString GUID;
  WideString IconFile;
  WideString IconResID;
  WideString InstallFileDescription;
  WideString LegalCopyright;
  WideString LicenseCHSResID;
  WideString LicenseCHTResID;
  WideString LicenseENGResID;
  WideString LicenseFileCHS;
  WideString LicenseFileCHT;
  WideString LicenseFileENG;
  TColor MainFormColor = 16750848;  // 0x00FF9900
  WideString MiniSetupFile;
  WideString ProductName;
  WideString UninstallFileDescription;
  WideString Version;
  TWinVersionEnum WinVersion = wveWinXPOrHigher;
};

// ---- items ----------------------------------------------------------------

class TBaseSetupItem : public TXmlPersistent {
  QV_PERSISTENT(TBaseSetupItem)
public:
  // Carried for the package tool; the installer processes every item.
  bool Checked = true;
};

class TBaseConditionItem : public TBaseSetupItem {
  QV_PERSISTENT(TBaseConditionItem)
public:
  // Rewrites the item's own texts with the variables, Condition first.
  virtual void ApplyVariables(const TSetupVarList& vars);

  // Carried and rewritten by variables, never evaluated.
  WideString Condition;
};

class TSetupFile : public TBaseConditionItem {
  QV_PERSISTENT(TSetupFile)
public:
  void ApplyVariables(const TSetupVarList& vars) override;

  WideString DestDir;
  int32_t FileBytes = 0;
  bool IncludeSubPath = false;
  TDateTime LastWriteDate = 0;
  WideString ResID;
  WideString SourceMask;
  WideString SourcePath;
  WideString NewFileName;
};

class TSetupReg : public TBaseConditionItem {
  QV_PERSISTENT(TSetupReg)
public:
  void ApplyVariables(const TSetupVarList& vars) override;

  TRegRootKey RootKey = rrkClassesRoot;
  WideString SubKey;
  WideString ValueData;
  WideString ValueName;
  TRegValueType ValueType = rvtString;
};

class TSetupShortCut : public TBaseConditionItem {
  QV_PERSISTENT(TSetupShortCut)
public:
  void ApplyVariables(const TSetupVarList& vars) override;

  WideString DstFile;
  WideString IconFile;
  WideString Name;
  WideString SaveDir;
  WideString WorkDir;
};

class TSetupRun : public TBaseConditionItem {
  QV_PERSISTENT(TSetupRun)
public:
  void ApplyVariables(const TSetupVarList& vars) override;

  WideString FileName;
  WideString Params;
  bool Wait = false;
  WideString WorkDir;
};

class TUninstallRun : public TBaseConditionItem {
  QV_PERSISTENT(TUninstallRun)
public:
  void ApplyVariables(const TSetupVarList& vars) override;

  WideString FileName;
  WideString Params;
  int32_t WaitSeconds = 0;
  TUninstallRunWaitType WaitType = urwNoWait;
  WideString WorkDir;
};

class TSetupSwiper : public TBaseConditionItem {
  QV_PERSISTENT(TSetupSwiper)
public:
  void ApplyVariables(const TSetupVarList& vars) override;

  WideString FileName;
  WideString ResID;
};

// A script variable: every occurrence of VarName (braces included) is
// replaced by VarValue.
class TSetupVar : public TBaseSetupItem {
  QV_PERSISTENT(TSetupVar)
public:
  WideString VarName;
  WideString VarValue;
};

// ---- lists ----------------------------------------------------------------

class TSetupItemList : public TXmlObjectList {
  QV_PERSISTENT_ABSTRACT(TSetupItemList)
public:
  TBaseSetupItem* Items(int index) const { return ItemAs<TBaseSetupItem>(index); }

protected:
  // Lists are filled through the public Add of the base, which takes any
  // persistent object; a foreign item is a programming error, not a cast.
  template <class T>
  T* ItemAs(int index) const {
    T* item = dynamic_cast<T*>(TXmlObjectList::Items(index));
    QV_ASSERT(item != nullptr, SETUPPROJECT_UNIT);
    return item;
  }
};

#define QV_SETUP_LIST(ListClass, ItemClass)                                           \
  class ListClass : public TSetupItemList {                                           \
    QV_PERSISTENT(ListClass)                                                          \
  public:                                                                             \
    TXmlPersistent* CreateItem(const WideString&) override { return new ItemClass(); } \
    ItemClass* Items(int index) const { return ItemAs<ItemClass>(index); }            \
  }

QV_SETUP_LIST(TSetupFileList, TSetupFile);
QV_SETUP_LIST(TSetupRegList, TSetupReg);
QV_SETUP_LIST(TSetupShortCutList, TSetupShortCut);
QV_SETUP_LIST(TUninstallRunList, TUninstallRun);
QV_SETUP_LIST(TSetupSwiperList, TSetupSwiper);

#undef QV_SETUP_LIST

class TSetupRunList : public TSetupItemList {
  QV_PERSISTENT(TSetupRunList)
public:
  TXmlPersistent* CreateItem(const WideString&) override { return new TSetupRun(); }
  TSetupRun* Items(int index) const { return ItemAs<TSetupRun>(index); }
  // Programs started by the final button rather than waited for.
  int NoWaitCount() const;
};

class TSetupVarList : public TSetupItemList {
  QV_PERSISTENT(TSetupVarList)
public:
  // Holds the ten default variables.
  TSetupVarList();

  TXmlPersistent* CreateItem(const WideString&) override { return new TSetupVar(); }
  TSetupVar* Items(int index) const { return ItemAs<TSetupVar>(index); }

  // Names match without regard to case; the first match wins.
  int IndexOfVar(const WideString& name) const;
  TSetupVar* FindVar(const WideString& name) const;
  // The variable of that name, appended (checked, empty value) when missing.
  TSetupVar* VarByName(const WideString& name);
  // Sets the ten default variables to their default values, adding those
  // that are missing; "{GUID}" gets a fresh GUID each time.
  void AddDefaultVars();
  // Applies each checked variable once, in list order: a value may name a
  // later variable and is replaced again by it, never by an earlier one.
  WideString Expand(const WideString& text) const;
};

// ---- the script -----------------------------------------------------------

class TSetupScript : public TXmlPersistent {
  QV_PERSISTENT(TSetupScript)
public:
  TSetupScript();
  ~TSetupScript() override;

  TSetupBaseInfo* BaseInfo() const { return FBaseInfo.get(); }
  TSetupFileList* FileList() const { return FFileList.get(); }
  TSetupRegList* RegList() const { return FRegList.get(); }
  TSetupRunList* RunList() const { return FRunList.get(); }
  TUninstallRunList* UninstallRunList() const { return FUninstallRunList.get(); }
  TSetupShortCutList* ShortCutList() const { return FShortCutList.get(); }
  TSetupSwiperList* SwiperList() const { return FSwiperList.get(); }
  TSetupVarList* VarList() const { return FVarList.get(); }

private:
  // Declared in the order of construction; the destructor frees them in
  // the same order. The published (and XML) order is the one of the
  // accessors above.
  std::unique_ptr<TSetupBaseInfo> FBaseInfo;
  std::unique_ptr<TSetupFileList> FFileList;
  std::unique_ptr<TSetupRegList> FRegList;
  std::unique_ptr<TSetupShortCutList> FShortCutList;
  std::unique_ptr<TSetupRunList> FRunList;
  std::unique_ptr<TUninstallRunList> FUninstallRunList;
  std::unique_ptr<TSetupSwiperList> FSwiperList;
  std::unique_ptr<TSetupVarList> FVarList;
};
