#include "QvPropValues.h"

#include "QvExceptions.h"
#include "QvSysUtils.h"

WideString EnumValueText(const TPropInfo& prop, int64_t ordinal) {
  if (ordinal >= 0 && ordinal < static_cast<int64_t>(prop.ValueNames.size()))
    return Utf8ToWide(prop.ValueNames[static_cast<size_t>(ordinal)]);
  return IntToStr(ordinal);
}

int64_t EnumValueFromText(const TPropInfo& prop, const WideString& text) {
  for (size_t i = 0; i < prop.ValueNames.size(); ++i)
    if (SameText(Utf8ToWide(prop.ValueNames[i]), text)) return static_cast<int64_t>(i);
  return 0;
}

WideString SetValueText(const TPropInfo& prop, int64_t bits) {
  WideString text;
  const size_t n = prop.ValueNames.size() < 64 ? prop.ValueNames.size() : 64;
  for (size_t i = 0; i < n; ++i) {
    if ((static_cast<uint64_t>(bits) >> i & 1u) == 0) continue;
    if (!text.empty()) text += u',';
    text += Utf8ToWide(prop.ValueNames[i]);
  }
  return text;
}

int64_t SetValueFromText(const TPropInfo& prop, const WideString& text) {
  WideString s = Trim(text);
  if (!s.empty() && s.front() == u'[') s.erase(0, 1);
  if (!s.empty() && s.back() == u']') s.pop_back();
  uint64_t bits = 0;
  size_t p = 0;
  while (p < s.size()) {
    while (p < s.size() && (s[p] == u',' || s[p] <= u' ')) ++p;
    const size_t start = p;
    while (p < s.size() && s[p] != u',' && s[p] > u' ') ++p;
    if (p == start) break;
    const WideString name = s.substr(start, p - start);
    size_t i = 0;
    while (i < prop.ValueNames.size() && !SameText(Utf8ToWide(prop.ValueNames[i]), name)) ++i;
    if (i == prop.ValueNames.size() || i >= 64)
      throw EPropertyConvertError(Format(u"Invalid property element: %s", {name}));
    bits |= uint64_t{1} << i;
  }
  return static_cast<int64_t>(bits);
}
