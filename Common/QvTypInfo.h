// Published properties: the reflectable description that a class gives of
// itself. Persistence (XML and JSON), copying, cloning and comparison are all
// driven from it, so each class declares its stored form in one place, its
// static TClassInfo.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "QvTypes.h"

enum class TTypeKind {
  tkInteger, tkChar, tkWChar, tkEnumeration, tkFloat, tkString, tkLString, tkWString,
  tkSet, tkInt64, tkMethod, tkClass, tkVariant, tkArray, tkRecord, tkInterface, tkDynArray
};

class TObject;

struct TPropInfo {
  std::string Name;
  TTypeKind Kind = TTypeKind::tkInteger;
  std::string TypeName;
  bool Readable = true;
  bool Writable = true;
  // Enumerations: the value names in ordinal order. Sets: the names of the
  // element enumeration's values (bit i of the value is element i).
  std::vector<std::string> ValueNames;

  // Accessors by kind; those a kind does not use stay empty.
  // Ordinal kinds (integer, characters, enumeration, set, 64-bit integer).
  std::function<int64_t(const TObject&)> GetOrd;
  std::function<void(TObject&, int64_t)> SetOrd;
  std::function<double(const TObject&)> GetFloat;
  std::function<void(TObject&, double)> SetFloat;
  std::function<WideString(const TObject&)> GetWStr;          // tkWString
  std::function<void(TObject&, const WideString&)> SetWStr;
  std::function<RawByteString(const TObject&)> GetAStr;       // tkString, tkLString
  std::function<void(TObject&, const RawByteString&)> SetAStr;
  std::function<TObject*(const TObject&)> GetObj;             // tkClass

  bool IsOrdinal() const {
    return Kind == TTypeKind::tkInteger || Kind == TTypeKind::tkChar || Kind == TTypeKind::tkWChar ||
           Kind == TTypeKind::tkEnumeration || Kind == TTypeKind::tkSet || Kind == TTypeKind::tkInt64;
  }
};

struct TClassInfo {
  TClassInfo(const char* className, const TClassInfo* parent, std::vector<TPropInfo> ownProps);
  // The full list points into OwnProps: a copy would point into the original.
  TClassInfo(const TClassInfo&) = delete;
  TClassInfo& operator=(const TClassInfo&) = delete;
  const char* ClassName;
  const TClassInfo* Parent;
  std::vector<TPropInfo> OwnProps;
  // Inherited properties first, then the class's own, in declaration order.
  const std::vector<const TPropInfo*>& Props() const { return FAll; }
  const TPropInfo* FindProp(const std::string& name) const;  // exact name

private:
  std::vector<const TPropInfo*> FAll;
};

class TObject {
public:
  virtual ~TObject() = default;
  virtual const char* ClassName() const { return "TObject"; }
  // None for a class without published properties.
  virtual const TClassInfo* PublishedInfo() const { return nullptr; }
};

// ---- property builders for the common field-backed cases ------------------

template <class C>
TPropInfo IntegerProp(const char* name, int32_t C::*field, const char* typeName = "Integer") {
  TPropInfo p;
  p.Name = name; p.Kind = TTypeKind::tkInteger; p.TypeName = typeName;
  p.GetOrd = [field](const TObject& o) { return static_cast<int64_t>(static_cast<const C&>(o).*field); };
  p.SetOrd = [field](TObject& o, int64_t v) { static_cast<C&>(o).*field = static_cast<int32_t>(v); };
  return p;
}

template <class C>
TPropInfo Int64Prop(const char* name, int64_t C::*field, const char* typeName = "Int64") {
  TPropInfo p;
  p.Name = name; p.Kind = TTypeKind::tkInt64; p.TypeName = typeName;
  p.GetOrd = [field](const TObject& o) { return static_cast<const C&>(o).*field; };
  p.SetOrd = [field](TObject& o, int64_t v) { static_cast<C&>(o).*field = v; };
  return p;
}

template <class C>
TPropInfo BoolProp(const char* name, bool C::*field) {
  TPropInfo p;
  p.Name = name; p.Kind = TTypeKind::tkEnumeration; p.TypeName = "Boolean";
  p.ValueNames = {"False", "True"};
  p.GetOrd = [field](const TObject& o) { return static_cast<int64_t>(static_cast<const C&>(o).*field ? 1 : 0); };
  p.SetOrd = [field](TObject& o, int64_t v) { static_cast<C&>(o).*field = v != 0; };
  return p;
}

template <class C, class E>
TPropInfo EnumProp(const char* name, E C::*field, const char* typeName, std::vector<std::string> names) {
  TPropInfo p;
  p.Name = name; p.Kind = TTypeKind::tkEnumeration; p.TypeName = typeName;
  p.ValueNames = std::move(names);
  p.GetOrd = [field](const TObject& o) { return static_cast<int64_t>(static_cast<const C&>(o).*field); };
  p.SetOrd = [field](TObject& o, int64_t v) { static_cast<C&>(o).*field = static_cast<E>(v); };
  return p;
}

template <class C>
TPropInfo SetProp(const char* name, uint32_t C::*field, const char* typeName, std::vector<std::string> elementNames) {
  TPropInfo p;
  p.Name = name; p.Kind = TTypeKind::tkSet; p.TypeName = typeName;
  p.ValueNames = std::move(elementNames);
  p.GetOrd = [field](const TObject& o) { return static_cast<int64_t>(static_cast<const C&>(o).*field); };
  p.SetOrd = [field](TObject& o, int64_t v) { static_cast<C&>(o).*field = static_cast<uint32_t>(v); };
  return p;
}

template <class C>
TPropInfo FloatProp(const char* name, double C::*field, const char* typeName = "Double") {
  TPropInfo p;
  p.Name = name; p.Kind = TTypeKind::tkFloat; p.TypeName = typeName;
  p.GetFloat = [field](const TObject& o) { return static_cast<const C&>(o).*field; };
  p.SetFloat = [field](TObject& o, double v) { static_cast<C&>(o).*field = v; };
  return p;
}

template <class C>
TPropInfo WStrProp(const char* name, WideString C::*field) {
  TPropInfo p;
  p.Name = name; p.Kind = TTypeKind::tkWString; p.TypeName = "WideString";
  p.GetWStr = [field](const TObject& o) { return static_cast<const C&>(o).*field; };
  p.SetWStr = [field](TObject& o, const WideString& v) { static_cast<C&>(o).*field = v; };
  return p;
}

template <class C>
TPropInfo AStrProp(const char* name, RawByteString C::*field, const char* typeName = "AnsiString") {
  TPropInfo p;
  p.Name = name; p.Kind = TTypeKind::tkLString; p.TypeName = typeName;
  p.GetAStr = [field](const TObject& o) { return static_cast<const C&>(o).*field; };
  p.SetAStr = [field](TObject& o, const RawByteString& v) { static_cast<C&>(o).*field = v; };
  return p;
}

// An object-valued property without setter: the owner creates the object
// and loading only fills it.
template <class C, class T>
TPropInfo ObjectProp(const char* name, T* C::*field, const char* typeName) {
  TPropInfo p;
  p.Name = name; p.Kind = TTypeKind::tkClass; p.TypeName = typeName;
  p.Writable = false;
  p.GetObj = [field](const TObject& o) -> TObject* { return static_cast<const C&>(o).*field; };
  return p;
}

template <class C, class T>
TPropInfo ObjectProp(const char* name, std::unique_ptr<T> C::*field, const char* typeName) {
  TPropInfo p;
  p.Name = name; p.Kind = TTypeKind::tkClass; p.TypeName = typeName;
  p.Writable = false;
  p.GetObj = [field](const TObject& o) -> TObject* { return (static_cast<const C&>(o).*field).get(); };
  return p;
}

// An event: described, never stored.
inline TPropInfo MethodProp(const char* name, const char* typeName) {
  TPropInfo p;
  p.Name = name; p.Kind = TTypeKind::tkMethod; p.TypeName = typeName;
  return p;
}
