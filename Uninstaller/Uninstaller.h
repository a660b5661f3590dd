// The uninstaller's controller: start-up (its own folder as the product's,
// the uninstall data, the language), the removal as a list of steps in
// their fixed order, and the end with its report. The steps are defined in
// UninstallSteps; the window in UninstallFrm; the deletion of the program
// itself in SelfDeletion.
#pragma once

#include <memory>
#include <vector>

#include "QvExceptions.h"
#include "QvTypes.h"
#include "SetupProject.h"
#include "UninstallTexts.h"

class TUninstallForm;

// The installer's exit codes, where they mean the same.
enum TUninstallExitCode : unsigned {
  uecRemoved = 0,        // removed; what the user added under the folder stays
  uecCannotStart = 1,    // no data, bad data or a folder it refuses
  uecUserSaidNo = 2,     // the user answered No
  uecRemovalFailed = 4,  // something could not be removed (reported)
};

// What a code means, for the log's last line.
inline const char16_t* UninstallExitMeaning(unsigned code) {
  switch (code) {
    case uecRemoved: return u"the product was removed";
    case uecCannotStart: return u"the uninstaller could not start";
    case uecUserSaidNo: return u"the user answered No";
    case uecRemovalFailed: return u"something could not be removed";
    default: return u"unknown";
  }
}

// Why the uninstaller does not start; the message names the file or folder.
QV_DECLARE_EXCEPTION(EUninstallCannotStart, Exception);

// The uninstall entries of the system, under HKEY_LOCAL_MACHINE.
extern const char16_t* const UninstallKey;

class TUninstaller {
public:
  explicit TUninstaller(bool silentMode);
  ~TUninstaller();

  // The whole run: start-up, the question, the removal, the report.
  TUninstallExitCode Run();

  // ---- state shared by the steps
  std::unique_ptr<TSetupScript> FScript;
  WideString FAppTitle;
  WideString FLanguage = u"ENG";
  bool FSilentMode;
  WideString FOwnPath;        // this program, long form
  WideString FEntryLocation;  // "InstallLocation" of the uninstall entry
  // What could not be removed, one line each, for the user.
  std::vector<WideString> FLeftovers;
  // Links met in the product's folder (RemoveLink), each handled once.
  std::vector<WideString> FLinksSeen;
  // Folders below the product's folder that files were deleted from.
  std::vector<WideString> FTouchedFolders;

  // ---- start-up (Uninstaller)
  void LocateAppDir();
  void LoadUninstallData();
  void ChooseLanguage();

  // ---- steps, in their order (UninstallSteps)
  void KillRunningPrograms();
  void RunUninstallPrograms();
  void DeleteFiles();
  void DeleteShortCuts();
  void DeleteRegistryValues();
  void RemoveEmptyFolders();
  // False when a data file stays (it is then among FLeftovers).
  bool DeleteUninstallData();
  void DeleteUninstallKey();
  // Removes a link in the product's folder itself, never what it leads to.
  void RemoveLink(const WideString& link);
  // A path of the data that is not followed, listed as left over.
  void Decline(const WideString& path);

  // Deletes one file; a file already gone counts as deleted. What stays
  // goes to FLeftovers with the reason.
  bool RemoveFile(const WideString& path);
  // One item further on the progress window (none in /SILENT).
  void StepItem(const WideString& detail);
  WideString Expand(const WideString& text) const;
  const WideString& Text(TUninstallTextId id) const { return UninstallText(id, FLanguage); }

private:
  void RunSteps();
  void ReportEnd();

  std::unique_ptr<TUninstallForm> FForm;
};
