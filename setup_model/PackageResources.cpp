#include "PackageResources.h"

#include "MySetupUtils.h"
#include "QvExceptions.h"
#include "QvSysUtils.h"

const char* const FullScriptResID = "{54682D66-DEF6-4E5B-8AB5-70FFDF2C0E3A}";
const char* const MiniScriptResID = "{F907FF9D-0131-45D9-9469-A2CD78FB4793}";
const char* const FileDataResID = "{24B4534B-E580-4F42-BEAB-A2818FDE92C0}";
const char* const FullSetupPinResID = "{F951171D-D8A4-4503-B0E6-534AFA2E0C7B}";

bool TResourceReader::Exists(const std::string& name) const {
  TResourceBytes bytes;
  return Find(name, bytes);
}

TResourceBytes TResourceReader::Read(const std::string& name) const {
  TResourceBytes bytes;
  if (!Find(name, bytes)) throw EResNotFound(u"Resource " + AnsiToWide(name) + u" not found");
  return bytes;
}

// ---- PE image --------------------------------------------------------------

TPeImageResourceReader::TPeImageResourceReader(const std::string& image)
    : FResources(ReadPeResources(image)), FIs64Bit(ParsePeLayout(image).Pe32Plus) {}

std::unique_ptr<TPeImageResourceReader> TPeImageResourceReader::FromFile(const WideString& fileName) {
  TMemoryStream file;
  file.LoadFromFile(fileName);
  return std::make_unique<TPeImageResourceReader>(file.Bytes());
}

bool TPeImageResourceReader::Find(const std::string& name, TResourceBytes& bytes) const {
  const TPeResourceEntry* entry =
      FindPeResource(FResources, TResourceId::FromId(RT_RCDATA_ID), TResourceId::FromNarrow(name));
  if (entry == nullptr) return false;
  bytes.Data = entry->Data.data();
  bytes.Size = static_cast<int64_t>(entry->Data.size());
  return true;
}

// ---- in-memory table -------------------------------------------------------

void TMemoryResourceReader::Add(const std::string& name, std::string bytes) {
  TResourceId id = TResourceId::FromNarrow(name);
  for (auto& item : FItems)
    if (item.first.Matches(id)) {
      item.second = std::move(bytes);
      return;
    }
  FItems.emplace_back(std::move(id), std::move(bytes));
}

bool TMemoryResourceReader::Find(const std::string& name, TResourceBytes& bytes) const {
  const TResourceId id = TResourceId::FromNarrow(name);
  for (const auto& item : FItems)
    if (item.first.Matches(id)) {
      bytes.Data = item.second.data();
      bytes.Size = static_cast<int64_t>(item.second.size());
      return true;
    }
  return false;
}

// ---- package operations ----------------------------------------------------

bool PackageResourceExists(const TResourceReader& reader, const std::string& name) { return reader.Exists(name); }

bool ReadPackageResource(const TResourceReader& reader, const std::string& name, TMemoryStream& stream) {
  const TResourceBytes bytes = reader.Read(name);
  stream.Assign(bytes.Size > 0 ? std::string(bytes.Data, static_cast<size_t>(bytes.Size)) : std::string());
  TSetupfn::DecodeStream(stream);
  return true;
}
