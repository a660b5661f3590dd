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

namespace {

// Writes the whole stream to path: create or truncate, no sharing, so a
// file in use fails here instead of being half-replaced.
void WriteWholeFile(const WideString& path, const TMemoryStream& stream) {
  const THandle file = Owned(
      CreateFileW(W(path), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) throw EFCreateError(Format(u"Cannot create file \"%s\". %s", {path, SysErrorMessage(GetLastOSError())}));
  const char* data = stream.Memory();
  int64_t left = static_cast<int64_t>(stream.Bytes().size());
  while (left > 0) {
    const DWORD chunk = left > (1 << 30) ? (1u << 30) : static_cast<DWORD>(left);
    DWORD written = 0;
    if (!WriteFile(file.get(), data, chunk, &written, nullptr) || written != chunk)
      throw EWriteError(Format(u"Cannot write file \"%s\". %s", {path, SysErrorMessage(GetLastOSError())}));
    data += written;
    left -= written;
  }
}

}  // namespace

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
    if (item.FileBytes > 0) {
      const TFileData* entry = data.FindByGUID(item.ResID);
      if (entry == nullptr) {
        missing = SetupText(tidFileDataMissing, FLanguage);
      } else {
        const TResourceBytes image = data.Image(*entry);
        stream.Assign(std::string(image.Data, static_cast<size_t>(image.Size)));
        TSetupfn::DecodeStream(stream);
        stream.SetPosition(0);
      }
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
    for (;;) {
      try {
        TQvFilefn::ForceFileDir(path);
        WriteWholeFile(path, stream);
        if (stream.GetSize() > 0) {
          TFileTimes times;
          times.CreationTime = TQvFilefn::Now();
          times.LastWriteTime = item.LastWriteDate;
          times.LastAccessTime = TQvFilefn::Now();
          TQvFilefn::SetFileTimes(path, times);
        }
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
