#include "Uninstaller.h"

#include <windows.h>

#include "FolderRules.h"
#include "MySetupUtils.h"
#include "QvFolderSecurity.h"
#include "QvRegistry.h"
#include "QvRunLog.h"
#include "QvSysUtils.h"
#include "QvVclUtils.h"
#include "QvWinApi.h"
#include "QvWindows.h"
#include "QvXmlUtils.h"
#include "SelfDeletion.h"
#include "SetupRules.h"
#include "TkApplication.h"
#include "UninstallFrm.h"
#include "UninstallRules.h"

const char16_t* const UninstallKey = u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

namespace {

constexpr uint32_t kLocalMachine = 0x80000002u;

}  // namespace

TUninstaller::TUninstaller(bool silentMode) : FScript(new TSetupScript()), FSilentMode(silentMode) {}

TUninstaller::~TUninstaller() = default;

// ---- start-up -------------------------------------------------------------------

void TUninstaller::LocateAppDir() {
  const WideString own = ParamStr(0);
  const WideString longForm = TQvFilefn::LongPathName(own);
  FOwnPath = longForm.empty() ? own : longForm;
  TSetupfn::AppDir = ExtractFilePath(FOwnPath);
  if (IsRefusedFolder(TSetupfn::AppDir, SharedSystemFolders()))
    throw EUninstallCannotStart(Format(Text(utFolderRefusedFmt), {TSetupfn::AppDir}));
  // The uninstall data says what to delete and run with administrator
  // rights: from a folder that others can change, it may be theirs.
  const WideString data = TSetupfn::AppDir + u"Uninstall.da1";
  if (TQvFolderSecurity::OthersMayChange(TSetupfn::AppDir) ||
      (FileExists(data) && TQvFolderSecurity::OthersMayChange(data)))
    throw EUninstallCannotStart(Format(Text(utFolderOpenFmt), {TSetupfn::AppDir}));
  // The process must not stand in the folder it is about to remove, nor in
  // one where others may put programs and libraries: the system folder.
  SetCurrentDirectoryW(W(TQvSysWinfn::SystemFolder()));
}

void TUninstaller::LoadUninstallData() {
  const WideString path = TSetupfn::AppDir + u"Uninstall.da1";
  TXmlDocument doc;
  try {
    TMemoryStream stream;
    stream.LoadFromFile(path);
    if (stream.GetSize() == 0) throw Exception(u"the file is empty");
    if (!LooksLikePlainXml(stream.Bytes())) TSetupfn::DecodeStream(stream);
    stream.SetPosition(0);
    doc.LoadFromStream(stream);
  } catch (const EZLibError&) {
    // The codec's own message is a bare "Error".
    throw EUninstallCannotStart(
        Format(Text(utDataUnreadableFmt), {path, WideString(u"it is neither encoded uninstall data nor XML")}));
  } catch (const Exception& e) {
    throw EUninstallCannotStart(Format(Text(utDataUnreadableFmt), {path, e.Message()}));
  }
  // A document of another kind, or a script without its base information,
  // would leave the fresh GUID of an empty script: nothing of the product
  // could be found by it.
  TXmlNode* baseInfo = doc.Root ? doc.Root->FindChild(u"BaseInfo") : nullptr;
  if (!doc.Root || doc.Root->GetName() != u"TSetupScript" || baseInfo == nullptr)
    throw EUninstallCannotStart(Format(Text(utDataUnreadableFmt), {path, WideString(u"not a setup script")}));
  try {
    FScript->LoadFromNode(doc.Root.get(), 0);
  } catch (const Exception& e) {
    throw EUninstallCannotStart(Format(Text(utDataUnreadableFmt), {path, e.Message()}));
  }
  if (!IsUsableEntryName(FScript->BaseInfo()->GUID))
    throw EUninstallCannotStart(Format(Text(utEntryNameRefusedFmt), {path}));
}

void TUninstaller::ChooseLanguage() {
  WideString recorded;
  {
    TRegistry reg(kLocalMachine);
    if (reg.OpenKeyReadOnly(Format(u"%s\\%s", {WideString(UninstallKey), FScript->BaseInfo()->GUID}))) {
      // A value of another type tells nothing: the language rule decides,
      // and the entry counts as this folder's.
      try {
        recorded = reg.ReadString(u"InstallLanguage");
      } catch (const Exception&) {
      }
      try {
        FEntryLocation = reg.ReadString(u"InstallLocation");
      } catch (const Exception&) {
      }
    }
  }
  const TSetupBaseInfo& info = *FScript->BaseInfo();
  FLanguage = UninstallLanguage(info, recorded, TQvWinfn::UserLanguageAbbrev());
  FAppTitle = AppTitleFor(info, FLanguage);
  TSetupfn::GroupName = FAppTitle;
}

// ---- the run ----------------------------------------------------------------------

TUninstallExitCode TUninstaller::Run() {
  // Until the script speaks, texts follow the system's language.
  const WideString system = TQvWinfn::UserLanguageAbbrev();
  FLanguage = SameText(system, u"CHS") ? u"CHS" : SameText(system, u"CHT") ? u"CHT" : u"ENG";
  Application().SetTitle(u"Uninstall");
  try {
    LocateAppDir();
    LoadUninstallData();
    ChooseLanguage();
  } catch (const Exception& e) {
    TQvVclfn::ShowInfo(nullptr, e.Message());
    return uecCannotStart;
  }
  const WideString caption = Format(Text(utCaptionFmt), {FAppTitle});
  Application().SetTitle(caption);
  TQvRunLog::Line(u"Product: %s %s, GUID %s, folder %s", {FAppTitle, FScript->BaseInfo()->Version,
                                                          FScript->BaseInfo()->GUID, TSetupfn::AppDir});
  TQvRunLog::Line(u"Mode: %s, language %s", {FSilentMode ? u"/SILENT" : u"interactive", FLanguage});

  if (!FSilentMode) {
    const int answer = TQvWinfn::MessageBox(nullptr, Format(Text(utConfirmFmt), {FAppTitle}),
                                            MB_YESNO | MB_ICONQUESTION, caption);
    if (answer != IDYES) return uecUserSaidNo;
    FForm.reset(new TUninstallForm(static_cast<COLORREF>(FScript->BaseInfo()->MainFormColor), caption,
                                   Format(Text(utRemovingFmt), {FAppTitle}), Text(utWait)));
    FForm->SetItemCount(FScript->FileList()->Count() + FScript->ShortCutList()->Count() +
                        FScript->RegList()->Count() + FScript->UninstallRunList()->Count());
    FForm->Show();
    FForm->Repaint();
    FForm->ProcessMessages();
  }

  try {
    RunSteps();
  } catch (const Exception& e) {
    // Whatever stopped the removal is what the user must hear about; the
    // program stays so that it can be run again.
    FLeftovers.push_back(e.Message());
  }
  ReportEnd();
  return FLeftovers.empty() ? uecRemoved : uecRemovalFailed;
}

void TUninstaller::RunSteps() {
  KillRunningPrograms();
  RunUninstallPrograms();
  DeleteFiles();
  DeleteShortCuts();
  DeleteRegistryValues();
  // With something of the product left over (a file in use, a path it
  // declined), the data, the entry and this program stay: once the user
  // has seen to it, running the uninstaller again finishes the job. The
  // same holds for everything after this point, so each step that can
  // leave something behind comes before what a second run needs.
  if (!FLeftovers.empty()) return;
  RemoveEmptyFolders();
  if (!FLeftovers.empty()) return;
  // The copy leaves this program where it is while Uninstall.da1 is still
  // beside it, so it may start before the data goes.
  if (!StartCleanupCopy(FOwnPath)) {
    FLeftovers.push_back(FOwnPath);
    return;
  }
  if (!DeleteUninstallData()) return;
  DeleteUninstallKey();
}

void TUninstaller::ReportEnd() {
  if (FForm) FForm->Finish();
  for (const WideString& line : FLeftovers) TQvRunLog::Line(u"Left over: %s", {line});
  WideString text = Format(Text(utRemovedFmt), {FAppTitle});
  if (!FLeftovers.empty()) {
    text += u"\r\n\r\n" + Text(utLeftoversIntro);
    for (const WideString& line : FLeftovers) text += u"\r\n" + line;
  }
  TQvVclfn::ShowInfo(FForm ? FForm->Handle() : nullptr, text);
}

void TUninstaller::StepItem(const WideString& detail) {
  if (FForm) FForm->StepItem(detail);
}

WideString TUninstaller::Expand(const WideString& text) const { return TSetupfn::ExpandPath(text, FAppTitle); }
