// The product's own registry values and shortcuts, as the script lists
// them; every text expanded with the folder values first.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "MainFrm.h"
#include "MySetupUtils.h"
#include "QvRegistry.h"
#include "QvRunLog.h"
#include "QvSysUtils.h"
#include "QvWinApi.h"

namespace {

// Owns one COM interface pointer.
template <class T>
class TComRef {
public:
  TComRef() = default;
  ~TComRef() { Reset(); }
  TComRef(const TComRef&) = delete;
  TComRef& operator=(const TComRef&) = delete;
  T* operator->() const { return FPtr; }
  T* Get() const { return FPtr; }
  void** Out() {
    Reset();
    return reinterpret_cast<void**>(&FPtr);
  }
  void Reset() {
    if (FPtr) FPtr->Release();
    FPtr = nullptr;
  }

private:
  T* FPtr = nullptr;
};


// The root as the log names it.
const char16_t* RootName(TRegRootKey root) {
  switch (root) {
    case rrkClassesRoot: return u"HKCR";
    case rrkCurrentUser: return u"HKCU";
    case rrkLocalMachine: return u"HKLM";
    case rrkUsers: return u"HKU";
    case rrkCurrentConfig: return u"HKCC";
  }
  return u"HKCU";
}

}  // namespace

void TMainForm::WriteRegistryValues() {
  lblDetail->SetCaption(ResModifyingRegistry());
  for (int i = 0; i < FScript->RegList()->Count(); ++i) {
    const TSetupReg& item = *FScript->RegList()->Items(i);
    StepProgress();
    const WideString subKey = TSetupfn::ExpandPath(item.SubKey, FAppTitle);
    const WideString name = TSetupfn::ExpandPath(item.ValueName, FAppTitle);
    const WideString data = TSetupfn::ExpandPath(item.ValueData, FAppTitle);
    TRegistry reg(RegRootKeyToHKEY(item.RootKey));
    const WideString where = Format(u"%s\\%s", {RootName(item.RootKey), subKey});
    // A key that cannot be opened or made (no access) skips the item.
    if (!reg.OpenKey(subKey, true)) {
      TQvRunLog::Line(u"Registry key cannot be opened, value skipped: %s, \"%s\"", {where, name});
      continue;
    }
    switch (item.ValueType) {
      case rvtString:
        reg.WriteString(name, data);
        TQvRunLog::Line(u"Registry value: %s, \"%s\" = REG_SZ \"%s\"", {where, name, data});
        break;
      case rvtDWord: {
        const int32_t value = StrToInt(data);
        reg.WriteInteger(name, value);
        TQvRunLog::Line(u"Registry value: %s, \"%s\" = REG_DWORD %u", {where, name, static_cast<uint32_t>(value)});
        break;
      }
      default: break;
    }
  }
}

void TMainForm::CreateShortCuts() {
  lblDetail->SetCaption(ResCreatingShortCut());
  for (int i = 0; i < FScript->ShortCutList()->Count(); ++i) {
    const TSetupShortCut& item = *FScript->ShortCutList()->Items(i);
    StepProgress();
    const WideString dstFile = TSetupfn::ExpandPath(item.DstFile, FAppTitle);
    // The icon file is expanded with the rest; shortcuts show the icon of
    // their target, which is what the product's own programs carry.
    const WideString iconFile = TSetupfn::ExpandPath(item.IconFile, FAppTitle);
    (void)iconFile;
    const WideString name = TSetupfn::ExpandPath(item.Name, FAppTitle);
    const WideString workDir = TSetupfn::ExpandPath(item.WorkDir, FAppTitle);
    const WideString saveDir = IncludeTrailingBackslash(TSetupfn::ExpandPath(item.SaveDir, FAppTitle));
    const WideString linkPath = saveDir + name + u".lnk";

    TComRef<IShellLinkW> link;
    HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                  IID_IShellLinkW, link.Out());
    if (FAILED(hr)) throw EOSError(Format(u"Cannot create a shell link object (error %x)", {static_cast<unsigned>(hr)}));
    TComRef<IPersistFile> file;
    hr = link->QueryInterface(IID_IPersistFile, file.Out());
    if (FAILED(hr)) throw EOSError(Format(u"The shell link object has no file interface (error %x)", {static_cast<unsigned>(hr)}));
    link->SetPath(W(dstFile));
    link->SetWorkingDirectory(W(workDir));
    // The program group does not exist on a fresh system: it is made here,
    // parents included. A folder that cannot be made (a title with
    // characters no folder name may hold, no access) skips this shortcut,
    // as a link that cannot be saved does.
    bool folderReady = DirectoryExists(saveDir);
    if (!folderReady) {
      try {
        folderReady = ForceDirectories(saveDir) && DirectoryExists(saveDir);
      } catch (const Exception&) {
        folderReady = false;
      }
    }
    if (folderReady && SUCCEEDED(file->Save(W(linkPath), FALSE)))
      TQvRunLog::Line(u"Shortcut: %s -> %s", {linkPath, dstFile});
    else
      TQvRunLog::Line(u"Shortcut skipped (its folder cannot be made or the link saved): %s", {linkPath});
  }
  pbProgress->SetPosition(pbProgress->Max());
}
