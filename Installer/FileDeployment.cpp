// The product's files: running copies of its programs are ended, then
// every file is decoded from the package and written with its time. A file
// that cannot be written asks the user to retry, skip it or leave.
#include <windows.h>

#include <chrono>
#include <exception>
#include <string>
#include <vector>

#include "CopyFileFailureFrm.h"
#include "DecodeAhead.h"
#include "FileDataClasses.h"
#include "MainFrm.h"
#include "MySetupUtils.h"
#include "PhaseTimes.h"
#include "QvRunLog.h"
#include "QvSysUtils.h"
#include "QvWinApi.h"
#include "QvWindows.h"
#include "SetupRules.h"

void TMainForm::KillRunningPrograms() {
  // Only the copies that run from the files about to be written: a program
  // of the same name elsewhere (a "python.exe" of the user's own) keeps
  // running with its work. This installer stays out by its process id,
  // even when it runs from the product's folder.
  const int ended = TQvWinfn::EndProcessesByPath(OwnProgramPaths(*FScript->FileList(), FAppTitle), 3000);
  TQvRunLog::Line(u"Programs ended: %d", {ended});
}

void TMainForm::InstallFiles() {
  // The index is read and checked whole before any file is written; the
  // images stay in the package's resource and are decoded one at a time.
  const auto stepStart = std::chrono::steady_clock::now();
  // The package's check read the index already; a package that was not
  // checked has its index read here.
  if (!FFileIndex) {
    TPhaseScope phase(phIndex);
    FFileIndex = std::make_unique<TFileDataList>();
    FFileIndex->LoadIndexFromResource(*FPackage);
  }
  const TFileDataList& data = *FFileIndex;

  // The window shows the bar and the file being written at most every
  // 30 ms, and whenever a file needs the user: painting each of thousands
  // of small files costs more than writing them under Wine. /Silent has
  // no window to paint.
  using TClock = std::chrono::steady_clock;
  const int firstPosition = pbProgress->Position();
  TClock::time_point nextPaint = TClock::now();
  auto showFile = [&](int index, const WideString& path, bool now) {
    if (FSilentMode) return;
    const TClock::time_point at = TClock::now();
    if (!now && at < nextPaint) return;
    nextPaint = at + std::chrono::milliseconds(30);
    {
      TPhaseScope phase(phProgress);
      pbProgress->SetPosition(firstPosition + index + 1);
      ProcessMessages();
    }
    TPhaseScope phase(phDetail);
    SetDetail(path);
  };

  const int count = FScript->FileList()->Count();
  // Each file's data, or none: no data recorded (an empty file), or data
  // the package lacks.
  std::vector<const TFileData*> entries(static_cast<size_t>(count), nullptr);
  const TFileDataLookup lookup(data);
  for (int i = 0; i < count; ++i) {
    const TSetupFile& item = *FScript->FileList()->Items(i);
    if (item.FileBytes > 0) entries[static_cast<size_t>(i)] = lookup.Find(item.ResID);
  }
  // The files with data are decoded in this order on a second thread,
  // ahead of the writing.
  std::vector<TDecodeJob> jobs;
  for (int i = 0; i < count; ++i)
    if (const TFileData* entry = entries[static_cast<size_t>(i)])
      jobs.push_back({entry, FScript->FileList()->Items(i)->FileBytes});
  TDecodeAhead ahead(data, std::move(jobs));
  // Known to Halt while it runs (a file that fails in /Silent, or the user
  // leaving at the copy-failure question, ends the process from inside
  // this loop).
  FDecoding = &ahead;
  struct TForget {
    TDecodeAhead*& Decoding;
    ~TForget() { Decoding = nullptr; }
  } forget{FDecoding};
  std::string bytes;
  // The folder the last file went into: the next file in the same folder
  // needs no look-up (each costs a call to the server under Wine). A
  // retry looks again, in case the folder went away meanwhile.
  WideString lastFolder;
  // The folder of the last DestDir: files of one folder follow each other
  // in a script, and its placeholders are expanded once for all of them.
  WideString lastDestDir, lastExpanded;
  bool expandedOnce = false;

  for (int i = 0; i < count; ++i) {
    const TSetupFile& item = *FScript->FileList()->Items(i);
    const TFileData* entry = entries[static_cast<size_t>(i)];
    WideString path;
    {
      TPhaseScope phase(phPaths);
      if (!expandedOnce || item.DestDir != lastDestDir) {
        lastExpanded = IncludeTrailingBackslash(TSetupfn::ExpandPath(item.DestDir, FAppTitle));
        lastDestDir = item.DestDir;
        expandedOnce = true;
      }
      path = lastExpanded + (item.NewFileName.empty() ? item.SourceMask : item.NewFileName);
    }
    showFile(i, path, false);
    // A positive size whose data the package lacks: the package is damaged.
    // The user hears which file and may skip it or leave.
    if (item.FileBytes > 0 && entry == nullptr) {
      showFile(i, path, true);
      // Retrying cannot bring the data back; the question is asked again
      // until the user skips the file or leaves.
      while (AskAboutFailedFile(path, SetupText(tidFileDataMissing, FLanguage))) {
      }
      TQvRunLog::Line(u"File skipped by the user: %s", {path});
      continue;
    }
    bool decoded = entry == nullptr;
    if (decoded) bytes.clear();  // an empty file
    // The first attempt takes the second thread's bytes; a retry after
    // damage decodes again, here, and looks for the folder again.
    bool retry = false;
    for (;;) {
      try {
        if (!decoded) {
          // Only inflating finds some damage; it is this file's failure,
          // asked about like a write that failed.
          bool whole;
          {
            TPhaseScope phase(phDecode);
            if (!retry) {
              whole = ahead.Take(bytes);
            } else {
              whole = DecodeFileData(data, *entry, item.FileBytes, bytes);
            }
          }
          if (!whole) throw Exception(SetupText(tidFileDataDamaged, FLanguage));
          decoded = true;
        }
        {
          TPhaseScope phase(phFolders);
          const WideString folder = ExtractFilePath(path);
          if (retry || folder != lastFolder) {
            lastFolder.clear();
            TQvFilefn::ForceFileDir(path);
            lastFolder = folder;
          }
        }
        TPhaseTimes::MarkFirstFile();
        TPhaseScope phase(phWrite);
        TFileTimes times;
        if (!bytes.empty()) {
          times.CreationTime = TQvFilefn::Now();
          times.LastWriteTime = item.LastWriteDate;
          times.LastAccessTime = TQvFilefn::Now();
        }
        // The previous version's file stays whole until the new one is
        // complete beside it, whatever stops the write (a full disk, a
        // vanished network drive, the process ended).
        TQvFilefn::ReplaceWhole(path, bytes.data(), static_cast<int64_t>(bytes.size()), times);
        TQvRunLog::Line(u"File: %s (%d bytes)", {path, static_cast<int64_t>(bytes.size())});
        break;
      } catch (const Exception& e) {
        showFile(i, path, true);
        if (!AskAboutFailedFile(path, e.Message())) {
          TQvRunLog::Line(u"File skipped by the user: %s", {path});
          break;
        }
        retry = true;
      }
    }
  }
  if (!FSilentMode) pbProgress->SetPosition(firstPosition + count);
  TPhaseTimes::Report(count, std::chrono::steady_clock::now() - stepStart);
}

// Retry (true), ignore (false), or leave the setup. /Silent has nobody to
// ask: the file's path and the reason go to standard error and the
// installation ends.
bool TMainForm::AskAboutFailedFile(const WideString& path, const WideString& reason) {
  if (FSilentMode) {
    TQvSysWinfn::WriteStdErr(Format(u"%s: %s", {path, reason}));
    Halt(secInstallFailed);
  }
  TQvRunLog::Line(u"Message: %s: %s", {path, reason});
  switch (TCopyFileFailureForm::Execute(this, path, FLanguage, reason)) {
    case mrRetry:
      TQvRunLog::Line(u"Answer: retry");
      return true;
    case mrIgnore:
      TQvRunLog::Line(u"Answer: ignore");
      return false;
    default:
      TQvRunLog::Line(u"Answer: exit setup");
      Halt(secUserEndedSetup);
  }
}
