// The setup utility group: the package codec and the expansion of the
// folder placeholders, with the process-wide folder values.
#pragma once

#include <string>

#include "QvClasses.h"
#include "QvTypes.h"

class TSetupfn {
public:
  // The memory stream's whole content is replaced by its encoded form
  // (level-9 zlib, then byte i XOR (i mod 255)); position 0 afterwards.
  static void EncodeStream(TMemoryStream& stream);
  // The reverse. Data that is not a valid encoded stream raises
  // EZDecompressionError "Error" and leaves the content XORed.
  static void DecodeStream(TMemoryStream& stream);
  // One file's image as the package stores it (encoded, not copied: it is
  // unscrambled in pieces as it is inflated) into out, whose storage is
  // reused: out holds exactly plainSize bytes afterwards. False when the
  // image does not decode to exactly plainSize bytes (a damaged package);
  // out's content is then undefined.
  static bool DecodeImage(const char* image, size_t size, size_t plainSize, std::string& out);
  // Applies the XOR pass in place; offset is the position of data[0] in the
  // stream, so large streams can be processed in pieces.
  static void XorBytes(char* data, size_t size, uint64_t offset = 0);

  // Replaces {AppTitle}, {pf}, {group}, {desktop}, {app} and {srcexe}, then
  // collapses doubled backslashes.
  static WideString ExpandPath(const WideString& text, const WideString& title);

  // Folder values. On Windows the first three are filled at process start;
  // natively they start empty. Folders end with a backslash.
  static WideString ProgramFilesDir;
  static WideString DesktopDir;
  static WideString CommonProgramsDir;
  static WideString GroupName;
  static WideString AppDir;
  // Fills ProgramFilesDir, DesktopDir and CommonProgramsDir from the system
  // (Windows); natively it leaves them as they are.
  static void InitFolders();
};
