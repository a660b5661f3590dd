// Persistent objects: the walks over the published properties that write an
// object to an XML element and read it back, copy, clone and compare it, and
// the owning object list.
#include <cstring>

#include "QvClasses.h"
#include "QvPropValues.h"
#include "QvSysUtils.h"
#include "QvXmlUtils.h"

// ---- class descriptions ----------------------------------------------------

TClassInfo::TClassInfo(const char* className, const TClassInfo* parent, std::vector<TPropInfo> ownProps)
    : ClassName(className), Parent(parent), OwnProps(std::move(ownProps)) {
  if (parent) FAll = parent->FAll;
  for (const TPropInfo& p : OwnProps) FAll.push_back(&p);
}

const TPropInfo* TClassInfo::FindProp(const std::string& name) const {
  for (const TPropInfo* p : FAll)
    if (p->Name == name) return p;
  return nullptr;
}

namespace {

WideString WideName(const char* name) { return Utf8ToWide(RawByteString(name ? name : "")); }
WideString WideName(const std::string& name) { return Utf8ToWide(name); }

bool IsScalarKind(TTypeKind k) {
  switch (k) {
    case TTypeKind::tkInteger: case TTypeKind::tkChar: case TTypeKind::tkWChar:
    case TTypeKind::tkEnumeration: case TTypeKind::tkFloat: case TTypeKind::tkString:
    case TTypeKind::tkLString: case TTypeKind::tkWString: case TTypeKind::tkSet:
    case TTypeKind::tkInt64:
      return true;
    default:
      return false;
  }
}

// The text form of a scalar property, as its attribute holds it.
WideString PropertyText(const TObject& object, const TPropInfo& prop) {
  switch (prop.Kind) {
    case TTypeKind::tkInteger: case TTypeKind::tkChar: case TTypeKind::tkWChar: case TTypeKind::tkInt64:
      return IntToStr(prop.GetOrd(object));
    case TTypeKind::tkEnumeration: return EnumValueText(prop, prop.GetOrd(object));
    case TTypeKind::tkSet: return SetValueText(prop, prop.GetOrd(object));
    case TTypeKind::tkFloat: return FloatToStr(prop.GetFloat(object));
    case TTypeKind::tkString: case TTypeKind::tkLString: return AnsiToWide(prop.GetAStr(object));
    case TTypeKind::tkWString: return prop.GetWStr(object);
    default: throw EAssertionFailed(u"Assertion failure", QV_XMLUTILS_UNIT, __LINE__);
  }
}

// Sets a scalar property from its text form. Numbers that do not parse and
// empty enumeration texts leave the property as it was.
void SetPropertyText(TObject& object, const TPropInfo& prop, const WideString& text) {
  switch (prop.Kind) {
    case TTypeKind::tkInteger: case TTypeKind::tkChar: case TTypeKind::tkWChar: {
      int32_t v;
      if (TryStrToInt(text, v)) prop.SetOrd(object, v);
      return;
    }
    case TTypeKind::tkInt64: {
      int64_t v;
      if (TryStrToInt64(text, v)) prop.SetOrd(object, v);
      return;
    }
    case TTypeKind::tkEnumeration:
      if (!text.empty()) prop.SetOrd(object, EnumValueFromText(prop, text));
      return;
    case TTypeKind::tkSet: prop.SetOrd(object, SetValueFromText(prop, text)); return;
    case TTypeKind::tkFloat: {
      double v;
      if (TryStrToFloat(text, v)) prop.SetFloat(object, v);
      return;
    }
    case TTypeKind::tkString: case TTypeKind::tkLString: prop.SetAStr(object, WideToAnsi(text)); return;
    case TTypeKind::tkWString: prop.SetWStr(object, text); return;
    default: throw EAssertionFailed(u"Assertion failure", QV_XMLUTILS_UNIT, __LINE__);
  }
}

// Copies one scalar value between two objects; unlike kinds (or
// enumerations and sets of unlike types) go through the text form.
void CopyScalar(TObject& target, const TPropInfo& to, const TObject& source, const TPropInfo& from) {
  const bool sameValues = to.ValueNames == from.ValueNames;
  if (to.Kind == from.Kind && (sameValues || (to.Kind != TTypeKind::tkEnumeration && to.Kind != TTypeKind::tkSet))) {
    if (to.IsOrdinal()) {
      to.SetOrd(target, from.GetOrd(source));
    } else if (to.Kind == TTypeKind::tkFloat) {
      to.SetFloat(target, from.GetFloat(source));
    } else if (to.Kind == TTypeKind::tkWString) {
      to.SetWStr(target, from.GetWStr(source));
    } else {
      to.SetAStr(target, from.GetAStr(source));
    }
    return;
  }
  SetPropertyText(target, to, PropertyText(source, from));
}

}  // namespace

// ---- the two walks ---------------------------------------------------------

void SavePublishedProperties(const TObject* object, TXmlNode* node, int options) {
  const TClassInfo* info = object ? object->PublishedInfo() : nullptr;
  if (!info) return;
  for (const TPropInfo* prop : info->Props()) {
    if (!prop->Readable) continue;
    const WideString name = WideName(prop->Name);
    if (prop->Kind == TTypeKind::tkClass) {
      const TObject* value = prop->GetObj(*object);
      if (auto* persistent = dynamic_cast<const TXmlPersistent*>(value)) {
        persistent->SaveToNode(node->ChildByName(name), options);
      } else if (value && value->PublishedInfo()) {
        SavePublishedProperties(value, node->ChildByName(name), options);
      }
      continue;
    }
    if (prop->Kind == TTypeKind::tkMethod) continue;
    if (!IsScalarKind(prop->Kind)) throw EAssertionFailed(WideName(prop->TypeName), QV_XMLUTILS_UNIT, __LINE__);

    TXmlAttribute* attr = node->AttributeByName(name);
    switch (prop->Kind) {
      case TTypeKind::tkInteger: case TTypeKind::tkChar: case TTypeKind::tkWChar: case TTypeKind::tkInt64:
        attr->SetInteger(prop->GetOrd(*object));
        break;
      case TTypeKind::tkFloat:
        // A value that cannot be written leaves the attribute as it was.
        try {
          attr->SetFloat(prop->GetFloat(*object));
        } catch (const Exception&) {
        }
        break;
      default:
        attr->SetValue(PropertyText(*object, *prop));
        break;
    }
  }
}

void LoadPublishedProperties(TObject* object, TXmlNode* node, int options) {
  const TClassInfo* info = object ? object->PublishedInfo() : nullptr;
  if (!info || !node) return;
  for (const TPropInfo* prop : info->Props()) {
    const WideString name = WideName(prop->Name);
    if (prop->Kind == TTypeKind::tkClass) {
      TXmlNode* child = node->FindChild(name);
      if (!child || !prop->GetObj) continue;
      TObject* value = prop->GetObj(*object);
      if (auto* persistent = dynamic_cast<TXmlPersistent*>(value)) {
        persistent->LoadFromNode(child, options);
      } else if (value && value->PublishedInfo()) {
        LoadPublishedProperties(value, child, options);
      }
      continue;
    }
    if (prop->Kind == TTypeKind::tkMethod) continue;
    if (!IsScalarKind(prop->Kind)) throw EAssertionFailed(WideName(prop->TypeName), QV_XMLUTILS_UNIT, __LINE__);
    if (!prop->Writable) continue;
    if (TXmlAttribute* attr = node->FindAttribute(name)) SetPropertyText(*object, *prop, attr->GetValue());
  }
}

// ---- TXmlPersistent --------------------------------------------------------

const TClassInfo& TXmlPersistent::StaticClassInfo() {
  static const TClassInfo info("TXmlPersistent", nullptr, {});
  return info;
}

const TClassInfo* TXmlPersistent::PublishedInfo() const { return &StaticClassInfo(); }

void TXmlPersistent::CopyFrom(const TObject* source) {
  const auto* from = dynamic_cast<const TXmlPersistent*>(source);
  if (!from)
    throw EConvertError(Format(u"Cannot assign a %s to a %s",
                               {source ? WideName(source->ClassName()) : WideString(u"nil"), WideName(ClassName())}));
  if (from == this) return;
  const TClassInfo* targetInfo = PublishedInfo();
  const TClassInfo* sourceInfo = from->PublishedInfo();
  if (!targetInfo || !sourceInfo) return;

  for (const TPropInfo* to : targetInfo->Props()) {
    if (to->Kind != TTypeKind::tkClass && !to->Writable) continue;
    const TPropInfo* fromProp = sourceInfo->FindProp(to->Name);
    if (!fromProp) continue;
    if (to->Kind == TTypeKind::tkMethod) continue;
    if (to->Kind == TTypeKind::tkClass) {
      if (fromProp->Kind != TTypeKind::tkClass) continue;
      auto* targetObject = dynamic_cast<TXmlPersistent*>(to->GetObj(*this));
      auto* sourceObject = dynamic_cast<const TXmlPersistent*>(fromProp->GetObj(*from));
      if (targetObject && sourceObject) targetObject->CopyFrom(sourceObject);
      continue;
    }
    // Values between a scalar and anything but a scalar cannot be copied.
    if (!IsScalarKind(to->Kind) || !IsScalarKind(fromProp->Kind))
      throw EAssertionFailed(u"Assertion failure", QV_XMLUTILS_UNIT, __LINE__);
    if (!fromProp->Readable) continue;
    CopyScalar(*this, *to, *from, *fromProp);
  }
}

std::unique_ptr<TXmlPersistent> TXmlPersistent::Clone() const {
  std::unique_ptr<TXmlPersistent> copy(NewInstance());
  copy->CopyFrom(this);
  QV_ASSERT(std::strcmp(copy->ClassName(), ClassName()) == 0, QV_XMLUTILS_UNIT);
  return copy;
}

void TXmlPersistent::CopyViaXml(const TXmlPersistent& source) {
  TMemoryStream stream;
  source.SaveToStream(stream, 0);
  stream.SetPosition(0);
  LoadFromStream(stream, 0);
}

bool TXmlPersistent::SameAs(const TObject* other) const {
  if (!other || std::strcmp(other->ClassName(), ClassName()) != 0) return false;
  const TClassInfo* info = PublishedInfo();
  if (!info) return true;
  for (const TPropInfo* prop : info->Props()) {
    if (prop->Kind != TTypeKind::tkClass && !prop->Writable) continue;
    switch (prop->Kind) {
      case TTypeKind::tkMethod:
        break;
      case TTypeKind::tkClass: {
        // Objects that are not persistent cannot be compared and count as equal.
        const auto* mine = dynamic_cast<const TXmlPersistent*>(prop->GetObj(*this));
        const auto* theirs = dynamic_cast<const TXmlPersistent*>(prop->GetObj(*other));
        if (mine && theirs && !mine->SameAs(theirs)) return false;
        break;
      }
      case TTypeKind::tkInteger: case TTypeKind::tkChar: case TTypeKind::tkWChar:
      case TTypeKind::tkEnumeration: case TTypeKind::tkSet: case TTypeKind::tkInt64:
        if (prop->GetOrd(*this) != prop->GetOrd(*other)) return false;
        break;
      case TTypeKind::tkFloat:
        if (prop->GetFloat(*this) != prop->GetFloat(*other)) return false;
        break;
      case TTypeKind::tkString: case TTypeKind::tkLString:
        if (prop->GetAStr(*this) != prop->GetAStr(*other)) return false;
        break;
      case TTypeKind::tkWString:
        if (prop->GetWStr(*this) != prop->GetWStr(*other)) return false;
        break;
      default:
        throw EAssertionFailed(u"Assertion failure", QV_XMLUTILS_UNIT, __LINE__);
    }
  }
  return true;
}

void TXmlPersistent::LoadFromNode(TXmlNode* node, int options) { LoadPublishedProperties(this, node, options); }

void TXmlPersistent::SaveToNode(TXmlNode* node, int options) const { SavePublishedProperties(this, node, options); }

void TXmlPersistent::LoadFromStream(TStream& stream, int options) {
  TXmlDocument doc;
  doc.DeferItems = true;
  doc.LoadFromStream(stream);
  // The root's name is not checked: a document written by another class
  // with the same property names loads as well.
  if (doc.Root) LoadFromNode(doc.Root.get(), options);
}

void TXmlPersistent::SaveToStream(TStream& stream, int options) const {
  TXmlDocument doc(WideName(ClassName()));
  SaveToNode(doc.Root.get(), options);
  doc.SaveToStream(stream);
}

void TXmlPersistent::LoadFromFile(const WideString& fileName, int options) {
  TFileStream stream(fileName, fmOpenRead | fmShareDenyNone);
  LoadFromStream(stream, options);
}

void TXmlPersistent::SaveToFile(const WideString& fileName, int options) const {
  // The folder part ends at the last "\" or ":", or at the host's own
  // separator, so that host paths work natively as well.
  size_t cut = fileName.find_last_of(u"\\:");
  const size_t hostCut = fileName.rfind(PathDelim());
  if (hostCut != WideString::npos && (cut == WideString::npos || hostCut > cut)) cut = hostCut;
  if (cut == WideString::npos) throw EInOutError(u"Unable to create directory");
  const WideString folder = fileName.substr(0, cut + 1);
  if (!DirectoryExists(folder)) ForceDirectories(folder);
  TFileStream stream(fileName, fmCreate | fmShareExclusive);
  SaveToStream(stream, options);
  stream.Close();
}

// ---- TXmlObjectList --------------------------------------------------------

const TClassInfo& TXmlObjectList::StaticClassInfo() {
  static const TClassInfo info("TXmlObjectList", &TXmlPersistent::StaticClassInfo(), {});
  return info;
}

TXmlObjectList::~TXmlObjectList() = default;

std::vector<std::unique_ptr<TXmlPersistent>>& TXmlObjectList::List() {
  if (!FList) FList = std::make_unique<std::vector<std::unique_ptr<TXmlPersistent>>>();
  return *FList;
}

void TXmlObjectList::CopyFrom(const TObject* source) {
  TXmlPersistent::CopyFrom(source);
  const auto* from = dynamic_cast<const TXmlObjectList*>(source);
  // Copying a list into itself would clear it before reading its items.
  if (!from || from == this) return;
  std::vector<std::unique_ptr<TXmlPersistent>> copies;
  copies.reserve(static_cast<size_t>(from->Count()));
  for (int i = 0; i < from->Count(); ++i) copies.push_back(from->Items(i)->Clone());
  Clear();
  for (auto& item : copies) Add(std::move(item));
}

void TXmlObjectList::SaveToNode(TXmlNode* node, int options) const {
  SavePublishedProperties(this, node, options);
  TXmlNode* items = node->ChildByName(u"Items");
  items->Children.Clear();
  for (int i = 0; i < Count(); ++i) {
    const TXmlPersistent* item = Items(i);
    item->SaveToNode(items->AddChild(WideName(item->ClassName())), options);
  }
}

void TXmlObjectList::LoadFromNode(TXmlNode* node, int options) {
  LoadPublishedProperties(this, node, options);
  TXmlNode* items = node->FindChild(u"Items");
  Clear();
  TXmlNode* source = items ? items : node;
  source->ForEachChild([&](TXmlNode* element) {
    std::unique_ptr<TXmlPersistent> item(CreateItem(element->GetName()));
    if (!item) return;
    item->LoadFromNode(element, options);
    Add(std::move(item));
  });
}

void TXmlObjectList::Clear() {
  if (FList) FList->clear();
}

bool TXmlObjectList::SameItems(const TXmlObjectList* other) const {
  if (!other || other->Count() != Count()) return false;
  for (int i = 0; i < Count(); ++i)
    if (!Items(i)->SameAs(other->Items(i))) return false;
  return true;
}

void TXmlObjectList::Add(TXmlPersistent* item) {
  std::unique_ptr<TXmlPersistent> owned(item);
  QV_ASSERT(owned != nullptr, QV_XMLUTILS_UNIT);
  List().push_back(std::move(owned));
}

int TXmlObjectList::Count() const { return FList ? static_cast<int>(FList->size()) : 0; }

namespace {

size_t CheckedIndex(int index, int count) {
  const int64_t i = index < 0 ? static_cast<int64_t>(index) + count : index;
  if (i < 0 || i >= count) throw EListError(Format(u"List index out of bounds (%d)", {index}));
  return static_cast<size_t>(i);
}

}  // namespace

TXmlPersistent* TXmlObjectList::Items(int index) const {
  const size_t i = CheckedIndex(index, Count());
  return (*FList)[i].get();
}

void TXmlObjectList::Delete(int index) {
  const size_t i = CheckedIndex(index, Count());
  FList->erase(FList->begin() + static_cast<std::ptrdiff_t>(i));
}
