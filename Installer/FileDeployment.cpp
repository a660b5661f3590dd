// The product's files: running copies of its programs are ended, then
// every file is decoded from the package and written with its time. A file
// that cannot be written asks the user to retry, skip it or leave.
#include <windows.h>

#include "CopyFileFailureFrm.h"
#include "FileDataClasses.h"
#include "MainFrm.h"
#include "MySetupUtils.h"
#include "QvSysUtils.h"
#include "QvWinApi.h"
#include "QvWindows.h"
#include "SetupRules.h"

void TMainForm::KillRunningPrograms() {
  // Only the copies that run from the files about to be written: a program
  // of the same name elsewhere (a "python.exe" of the user's own) keeps
  // running with its work. This installer stays out by its process id,
  // even when it runs from the product's folder.
  TQvWinfn::EndProcessesByPath(OwnProgramPaths(*FScript->FileList(), FAppTitle), 3000);
}

void TMainForm::InstallFiles() {
  // The index is read and checked whole before any file is written; the
  // images stay in the package's resource and are decoded one at a time.
  TFileDataList data;
  data.LoadIndexFromResource(*FPackage);

  for (int i = 0; i < FScript->FileList()->Count(); ++i) {
    const TSetupFile& item = *FScript->FileList()->Items(i);
    StepProgress();
    TMemoryStream stream;
    // A positive size whose data the package lacks: the package is damaged.
    // The user hears which file and may skip it or leave.
    WideString missing;
    const TFileData* entry = nullptr;
    if (item.FileBytes > 0) {
      entry = data.FindByGUID(item.ResID);
      if (entry == nullptr) missing = SetupText(tidFileDataMissing, FLanguage);
    }
    const WideString folder = IncludeTrailingBackslash(TSetupfn::ExpandPath(item.DestDir, FAppTitle));
    const WideString path = folder + (item.NewFileName.empty() ? item.SourceMask : item.NewFileName);
    SetDetail(path);
    if (!missing.empty()) {
      // Retrying cannot bring the data back; the question is asked again
      // until the user skips the file or leaves.
      while (AskAboutFailedFile(path, missing)) {
      }
      continue;
    }
    bool decoded = entry == nullptr;
    for (;;) {
      try {
        if (!decoded) {
          // Only inflating finds some damage; it is this file's failure,
          // asked about like a write that failed.
          const TResourceBytes image = data.Image(*entry);
          stream.Assign(std::string(image.Data, static_cast<size_t>(image.Size)));
          try {
            TSetupfn::DecodeStream(stream);
          } catch (const EZLibError&) {
            throw Exception(SetupText(tidFileDataDamaged, FLanguage));
          }
          if (stream.GetSize() != item.FileBytes) throw Exception(SetupText(tidFileDataDamaged, FLanguage));
          decoded = true;
        }
        TQvFilefn::ForceFileDir(path);
        TFileTimes times;
        if (stream.GetSize() > 0) {
          times.CreationTime = TQvFilefn::Now();
          times.LastWriteTime = item.LastWriteDate;
          times.LastAccessTime = TQvFilefn::Now();
        }
        // The previous version's file stays whole until the new one is
        // complete beside it, whatever stops the write (a full disk, a
        // vanished network drive, the process ended).
        TQvFilefn::ReplaceWhole(path, stream.Memory(), static_cast<int64_t>(stream.Bytes().size()), times);
        break;
      } catch (const Exception& e) {
        if (!AskAboutFailedFile(path, e.Message())) break;
      }
    }
  }
}

// Retry (true), ignore (false), or leave the setup. /Silent has nobody to
// ask: the file's path and the reason go to standard error and the
// installation ends.
bool TMainForm::AskAboutFailedFile(const WideString& path, const WideString& reason) {
  if (FSilentMode) {
    TQvSysWinfn::WriteStdErr(Format(u"%s: %s", {path, reason}));
    Halt(secInstallFailed);
  }
  switch (TCopyFileFailureForm::Execute(this, path, FLanguage, reason)) {
    case mrRetry: return true;
    case mrIgnore: return false;
    default: Halt(secUserEndedSetup);
  }
}
