// Every text the uninstaller shows or writes, in its three languages
// ("CHS", "CHT", anything else English), as the installer keeps its own.
#pragma once

#include "QvTypes.h"

enum TUninstallTextId {
  utConfirmFmt,          // product title
  utRemovedFmt,          // product title
  utLeftoversIntro,      // before the list of what stayed
  utCaptionFmt,          // product title: window and message boxes
  utRemovingFmt,         // product title: the progress window's heading
  utWait,                // the progress window's line before the first item
  utDataUnreadableFmt,   // data file, reason
  utFolderRefusedFmt,    // folder
  utEntryNameRefusedFmt, // data file
  utDeclinedPathFmt,     // a path of the data that is not followed
  utFolderOpenFmt,       // folder
  utTextCount
};

const WideString& UninstallText(TUninstallTextId id, const WideString& code);
