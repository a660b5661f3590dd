// The JSON form of persistent objects: one member per published property,
// driven by the same description as the XML form.
#include <cmath>
#include <limits>

#include <nlohmann/json.hpp>

#include "QvClasses.h"
#include "QvPropValues.h"
#include "QvSysUtils.h"
#include "QvXmlUtils.h"

using nlohmann::json;

namespace {

// Where the JSON walks report a property kind they cannot store.
constexpr int kSaveUnsupportedLine = 3072;
constexpr int kLoadUnsupportedLine = 2340;

// JSON text is UTF-8; a narrow string of the system code page gets there
// through wide text, so the writer never meets bytes that are not UTF-8.
RawByteString NarrowToJson(const RawByteString& s) { return WideToUtf8(AnsiToWide(s)); }

bool JsonToInt64(const json& value, int64_t& out) {
  if (value.is_number_integer() && !value.is_number_unsigned()) {
    out = value.get<int64_t>();
    return true;
  }
  if (value.is_number_unsigned()) {
    const uint64_t u = value.get<uint64_t>();
    if (u > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) return false;
    out = static_cast<int64_t>(u);
    return true;
  }
  if (value.is_number_float()) {
    const double d = value.get<double>();
    if (!std::isfinite(d) || d != std::floor(d) || d < -9.2233720368547758e18 || d >= 9.2233720368547758e18) return false;
    out = static_cast<int64_t>(d);
    return true;
  }
  if (value.is_string()) return TryStrToInt64(Utf8ToWide(value.get_ref<const std::string&>()), out);
  return false;
}

void SaveProperties(const TXmlPersistent& object, json& out, int options) {
  const TClassInfo* info = object.PublishedInfo();
  if (!info) return;
  for (const TPropInfo* prop : info->Props()) {
    if (!prop->Readable) continue;
    const std::string& name = prop->Name;
    switch (prop->Kind) {
      case TTypeKind::tkInteger: case TTypeKind::tkChar: case TTypeKind::tkWChar: case TTypeKind::tkInt64:
        out[name] = prop->GetOrd(object);
        break;
      case TTypeKind::tkEnumeration:
        out[name] = WideToUtf8(EnumValueText(*prop, prop->GetOrd(object)));
        break;
      case TTypeKind::tkSet:
        out[name] = WideToUtf8(SetValueText(*prop, prop->GetOrd(object)));
        break;
      case TTypeKind::tkFloat:
        out[name] = prop->GetFloat(object);
        break;
      case TTypeKind::tkString: case TTypeKind::tkLString:
        out[name] = NarrowToJson(prop->GetAStr(object));
        break;
      case TTypeKind::tkWString:
        out[name] = WideToUtf8(prop->GetWStr(object));
        break;
      case TTypeKind::tkClass:
        if (const auto* value = dynamic_cast<const TXmlPersistent*>(prop->GetObj(object))) {
          json& member = out[name] = json::object();
          value->SaveToJson(member, options);
        }
        break;
      case TTypeKind::tkMethod:
        break;
      default:
        throw EAssertionFailed(Utf8ToWide(prop->TypeName), QV_XMLUTILS_UNIT, kSaveUnsupportedLine);
    }
  }
}

void LoadProperties(TXmlPersistent& object, const json& in, int options) {
  const TClassInfo* info = object.PublishedInfo();
  if (!info || !in.is_object()) return;
  for (const TPropInfo* prop : info->Props()) {
    switch (prop->Kind) {
      case TTypeKind::tkInteger: case TTypeKind::tkChar: case TTypeKind::tkWChar: case TTypeKind::tkInt64:
      case TTypeKind::tkEnumeration: case TTypeKind::tkSet: case TTypeKind::tkFloat:
      case TTypeKind::tkString: case TTypeKind::tkLString: case TTypeKind::tkWString:
      case TTypeKind::tkClass: case TTypeKind::tkMethod:
        break;
      default:
        throw EAssertionFailed(Utf8ToWide(prop->TypeName), QV_XMLUTILS_UNIT, kLoadUnsupportedLine);
    }
    const auto it = in.find(prop->Name);
    if (it == in.end() || it->is_null()) continue;
    const json& value = *it;

    if (prop->Kind == TTypeKind::tkClass) {
      if (!prop->GetObj || !value.is_object()) continue;
      if (auto* target = dynamic_cast<TXmlPersistent*>(prop->GetObj(object))) target->LoadFromJson(value, options);
      continue;
    }
    if (prop->Kind == TTypeKind::tkMethod || !prop->Writable) continue;

    switch (prop->Kind) {
      case TTypeKind::tkInteger: case TTypeKind::tkChar: case TTypeKind::tkWChar: {
        int64_t v;
        if (JsonToInt64(value, v) && v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max())
          prop->SetOrd(object, v);
        break;
      }
      case TTypeKind::tkInt64: {
        int64_t v;
        if (JsonToInt64(value, v)) prop->SetOrd(object, v);
        break;
      }
      case TTypeKind::tkEnumeration: {
        // A JSON true or false stands for its name, so a Boolean written by
        // hand as a literal reads as meant.
        WideString text;
        if (value.is_string()) text = Utf8ToWide(value.get_ref<const std::string&>());
        else if (value.is_boolean()) text = value.get<bool>() ? u"True" : u"False";
        else break;
        if (!text.empty()) prop->SetOrd(object, EnumValueFromText(*prop, text));
        break;
      }
      case TTypeKind::tkSet:
        if (value.is_string())
          prop->SetOrd(object, SetValueFromText(*prop, Utf8ToWide(value.get_ref<const std::string&>())));
        break;
      case TTypeKind::tkFloat: {
        double v;
        if (value.is_number()) prop->SetFloat(object, value.get<double>());
        else if (value.is_string() && TryStrToFloat(Utf8ToWide(value.get_ref<const std::string&>()), v)) prop->SetFloat(object, v);
        break;
      }
      case TTypeKind::tkString: case TTypeKind::tkLString:
        if (value.is_string()) prop->SetAStr(object, WideToAnsi(Utf8ToWide(value.get_ref<const std::string&>())));
        break;
      case TTypeKind::tkWString:
        if (value.is_string()) prop->SetWStr(object, Utf8ToWide(value.get_ref<const std::string&>()));
        break;
      default:
        break;
    }
  }
}

void WriteJson(const json& document, TStream& stream) {
  // Indented, and pure ASCII: everything else as \u escapes.
  stream.WriteString(document.dump(4, ' ', true));
}

}  // namespace

void TXmlPersistent::SaveToJson(json& out, int options) const { SaveProperties(*this, out, options); }

void TXmlPersistent::LoadFromJson(const json& in, int options) { LoadProperties(*this, in, options); }

void TXmlPersistent::SaveToJsonStream(TStream& stream, int options) const {
  json document = json::object();
  SaveToJson(document, options);
  WriteJson(document, stream);
}

void TXmlObjectList::SaveToJson(json& out, int options) const {
  SaveProperties(*this, out, options);
  json& items = out["Items"] = json::array();
  for (int i = 0; i < Count(); ++i) {
    const TXmlPersistent* item = Items(i);
    json element = json::object();
    item->SaveToJson(element, options);
    element["ClassName"] = item->ClassName();
    items.push_back(std::move(element));
  }
}

void TXmlObjectList::LoadFromJson(const json& in, int options) {
  LoadProperties(*this, in, options);
  Clear();
  if (!in.is_object()) return;
  const auto items = in.find("Items");
  if (items == in.end() || !items->is_array()) return;
  for (const json& element : *items) {
    WideString className;
    if (element.is_object()) {
      const auto name = element.find("ClassName");
      if (name != element.end() && name->is_string()) className = Utf8ToWide(name->get_ref<const std::string&>());
    }
    std::unique_ptr<TXmlPersistent> item(CreateItem(className));
    if (!item) continue;
    item->LoadFromJson(element, options);
    Add(std::move(item));
  }
}

void TXmlObjectList::SaveToJsonStream(TStream& stream, int options) const {
  json document = {{"Items", json::array()}};
  SaveToJson(document, options);
  WriteJson(document, stream);
}
