#include "PackageReader.h"

#include <cstdio>

#include "HostFiles.h"
#include "QvExceptions.h"
#include "QvSysUtils.h"

TPackageReader::TPackageReader(const WideString& fileName) {
  try {
    FReader = TPeImageResourceReader::FromFile(fileName);
  } catch (const EPeFormatError& e) {
    throw EPeFormatError(u"\"" + fileName + u"\" is not a setup: " + e.Message());
  }
  const char* scriptName = FullScriptResID;
  if (!FReader->Exists(FullScriptResID)) {
    if (!FReader->Exists(MiniScriptResID))
      throw Exception(u"\"" + fileName + u"\" is not a setup: it carries no setup script");
    scriptName = MiniScriptResID;
    FOnline = true;
  }
  TMemoryStream script;
  try {
    ReadPackageResource(*FReader, scriptName, script);
    FScriptXml = script.Bytes();
    script.SetPosition(0);
    FScript.LoadFromStream(script, 0);
  } catch (const Exception& e) {
    throw Exception(u"\"" + fileName + u"\": the setup script is damaged: " + e.Message());
  }
  if (!FOnline) {
    FFileData = std::make_unique<TFileDataList>();
    try {
      FFileData->LoadFromResource(*FReader);
    } catch (const Exception& e) {
      throw Exception(u"\"" + fileName + u"\": the file data is damaged: " + e.Message());
    }
  }
}

std::string FormatDateTime(TDateTime value) {
  int y, mo, d, h, mi, s, ms;
  DecodeDate(value, y, mo, d);
  DecodeTime(value, h, mi, s, ms);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", y, mo, d, h, mi, s);
  return text;
}

// The destination folder and name of a file as a path below dir. The
// script comes from a file that anyone may have made: a part that climbs
// out of dir ("..") is refused, and a drive colon is dropped.
WideString ExtractTargetPath(const WideString& dir, const WideString& destDir, const WideString& name) {
  WideString path = dir;
  WideString part;
  auto flush = [&](bool isName) {
    WideString clean;
    for (WideChar c : part)
      if (c != u':') clean += c;
    part.clear();
    if (clean.empty() || clean == u".") {
      if (isName) throw Exception(u"The file name \"" + name + u"\" is not a file name");
      return;
    }
    if (clean == u"..") throw Exception(u"The destination \"" + destDir + u"\\" + name + u"\" leaves the target folder");
    path = JoinHostPath(path, clean);
  };
  for (WideChar c : destDir) {
    if (c == u'\\' || c == u'/') flush(false);
    else part += c;
  }
  flush(false);
  for (WideChar c : name)
    if (c == u'\\' || c == u'/') throw Exception(u"The file name \"" + name + u"\" holds a folder separator");
  part = name;
  flush(true);
  return path;
}

