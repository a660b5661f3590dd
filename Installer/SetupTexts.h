// Every text the installer shows, in its three languages. There is no
// message catalogue: each text is a constant, and the language code picks
// among the three ("CHS", "CHT", anything else English).
#pragma once

#include "QvTypes.h"

// The eighteen named texts of the main window.
enum TTextId {
  tidAppVersionFmt,
  tidCheckingOldVersion,
  tidCreateDestDirFailureFmt,
  tidCreatingShortCut,
  tidDestDirCannotBeEmpty,
  tidExit,
  tidInstallComplete,
  tidInstalling,
  tidInstallProgramTitleFmt,
  tidModifyingRegistry,
  tidNeedWin7OrHigher,
  tidNeedWinXPOrHigher,
  tidRunningAppFmt,
  tidSelectInstallPath,
  tidSetupPackageError,
  tidVerifyingSetup,
  tidVersionFmt,
  tidWriteDestDirFalureFmt,
  // Captions of the main window's controls.
  tidDestDirCaption,
  tidBrowseCaption,
  tidAgreeCaption,
  tidLicenseCaption,
  tidInstallCaption,
  tidWaitCaption,
  tidRunAppCaption,
  // The copy-failure dialog.
  tidCopyFailureCaption,
  tidRetry,
  tidIgnore,
  tidExitSetup,
  tidCopyFailureMessageFmt,  // file, then reason
  // Why a file cannot be written when its data is not in the package.
  tidFileDataMissing,
  tidFileDataDamaged,
  // A downloaded full setup that is not the one the online setup was
  // built for.
  tidDownloadVerifyFailed,
  // Destinations the installer does not use: a folder of the system or of
  // many programs (the uninstaller would never remove anything from it),
  // and one relative to the current folder or drive. Both name the folder.
  tidDestDirRefusedFmt,
  tidDestDirRelativeFmt,
  tidDestDirOpenFmt,
  tidDestDirProtectQuestion,
  tidDestDirProtectFailed,
  // The language dialog (chosen by the system's language, not the product's).
  tidSelectLanguageCaption,
  tidSelectLanguagePrompt,
  tidOk,
  tidCancel,
  tidTextCount
};

// The text in the language of code: "CHS", "CHT", else English.
const WideString& SetupText(TTextId id, const WideString& code);

// Texts that stay Simplified Chinese in every language.
extern const char16_t* const ProxyLinkCaption;    // the proxy link of an online setup
extern const char16_t* const ApplyButtonCaption;  // the hidden Apply button of dialogs

// The language dialog's item for a code: "简体中文", "繁体中文", "English".
WideString LanguageItemCaption(const WideString& code);
