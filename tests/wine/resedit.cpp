// resedit.exe dump SETUP.exe DIR: every RCDATA resource of the setup, its
// bytes as stored, into DIR/<name> (the package's resources are named by
// GUIDs, braces included).
// resedit.exe put SETUP.exe JOBS: for each line "OUT<TAB>NAME<TAB>DATA" of
// the file JOBS, writes OUT: the setup with the data of its RCDATA resource
// NAME replaced by the bytes of the file DATA (an empty file empties it).
// The image is rebuilt by the package tool's resource writer, so OUT is a
// well-formed executable whose resource is exactly that long; what a test
// damages is the package, not the loader's view of the file.
#include "PeResourceWriter.h"
#include "WineTool.h"

namespace {

std::vector<WideString> Split(const WideString& line, char16_t separator) {
  std::vector<WideString> fields;
  size_t start = 0;
  for (;;) {
    const size_t end = line.find(separator, start);
    fields.push_back(line.substr(start, end == WideString::npos ? WideString::npos : end - start));
    if (end == WideString::npos) return fields;
    start = end + 1;
  }
}

std::string ReadBytes(const WideString& path) {
  TMemoryStream file;
  file.LoadFromFile(wt::WinPath(path));
  return file.Bytes();
}

void Dump(const WideString& setup, const WideString& dir) {
  const std::string image = ReadBytes(setup);
  for (const TPeResourceEntry& entry : ReadPeResources(image)) {
    if (entry.Type.IsName || entry.Type.Id != RT_RCDATA_ID || !entry.Name.IsName) continue;
    TMemoryStream data(entry.Data);
    data.SaveToFile(wt::WinPath(dir + u"/" + entry.Name.Name));
    wt::OutLine(entry.Name.Name + u" " + wt::ToWide(entry.Data.size()));
  }
}

void Put(const WideString& setup, const WideString& jobs) {
  const std::string image = ReadBytes(setup);
  const WideString text = wt::FromUtf8(ReadBytes(jobs));
  int done = 0;
  for (WideString line : Split(text, u'\n')) {
    if (!line.empty() && line.back() == u'\r') line.pop_back();
    if (line.empty()) continue;
    const std::vector<WideString> job = Split(line, u'\t');
    if (job.size() != 3) throw EConvertError(u"a line of " + jobs + u" is not OUT<TAB>NAME<TAB>DATA: " + line);
    TPeResourceWriter writer(image);
    const TResourceId type = TResourceId::FromId(RT_RCDATA_ID);
    const TResourceId name = TResourceId::FromName(job[1]);
    const TPeResourceEntry* old = FindPeResource(writer.Resources(), type, name);
    if (old == nullptr) throw EConvertError(u"the setup has no RCDATA resource " + job[1]);
    writer.SetResource(type, name, old->Language, ReadBytes(job[2]), old->CodePage);
    writer.SaveToFile(wt::WinPath(job[0]));
    ++done;
  }
  wt::OutLine(wt::ToWide(done) + u" written");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  return wt::Run("resedit", [&]() -> int {
    const auto args = wt::Args(argc, argv);
    if (args.size() == 3 && args[0] == u"dump") {
      Dump(args[1], args[2]);
      return 0;
    }
    if (args.size() == 3 && args[0] == u"put") {
      Put(args[1], args[2]);
      return 0;
    }
    throw wt::UsageError{u"resedit.exe dump SETUP.exe DIR | resedit.exe put SETUP.exe JOBS"};
  });
}
