// The XML reader and writer, the persistent objects that store themselves
// through their published properties, and their JSON form.
//
// Xml/ holds these three and nothing else; it builds on the base (Common/)
// alone.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "QvClasses.h"
#include "QvExceptions.h"
#include "QvSysUtils.h"
#include "QvTypInfo.h"
#include "QvTypes.h"

// The unit name that this unit's assertion failures carry: the name the
// messages have always shown, wherever the folder stands now.
#define QV_XMLUTILS_UNIT u"Common\\QvXmlUtils"

// Parse errors; the message is "XML 标签不匹配" (XML tags do not match).
QV_DECLARE_EXCEPTION(EXmlException, Exception);

// ---- text ------------------------------------------------------------------

RawByteString XmlEscape(const WideString& s);
WideString XmlUnescape(const RawByteString& s);
WideString XmlUnescape(const char* data, size_t length);

// ---- nodes -----------------------------------------------------------------

// Names and texts are kept escaped, as they stand in the document, unless
// CData says otherwise.
class TXmlKey {
public:
  bool CData = false;
  RawByteString Name;
  RawByteString Text;
};

class TXmlAttribute : public TXmlKey {
public:
  WideString GetValue() const;
  void SetValue(const WideString& value);
  void SetInteger(int64_t value);
  void SetFloat(double value);
};

// An owning list of keys with lookup by name (ASCII case-insensitive on the
// escaped name; the first match wins).
template <class T>
class TXmlKeyList {
public:
  int IndexOfName(const WideString& name) const;
  T* FindByName(const WideString& name) const {
    int i = IndexOfName(name);
    return i < 0 ? nullptr : FItems[static_cast<size_t>(i)].get();
  }
  int Count() const { return static_cast<int>(FItems.size()); }
  T* Items(int i) const { return FItems.at(static_cast<size_t>(i)).get(); }
  T* operator[](int i) const { return Items(i); }
  T* Add(std::unique_ptr<T> item) { FItems.push_back(std::move(item)); return FItems.back().get(); }
  void Clear() { FItems.clear(); }
  void Delete(int i) { FItems.erase(FItems.begin() + i); }

private:
  std::vector<std::unique_ptr<T>> FItems;
};

class TXmlNode;
using TXmlAttributeList = TXmlKeyList<TXmlAttribute>;
using TXmlNodeList = TXmlKeyList<TXmlNode>;

// True when the stored (escaped) name equals the wanted one, escaped as
// XmlEscape does, ASCII letters matched without regard to case.
bool XmlNameMatches(const RawByteString& storedName, const RawByteString& escapedName);

template <class T>
int TXmlKeyList<T>::IndexOfName(const WideString& name) const {
  // Escaped once for the whole list: a script's load looks up every
  // property of thousands of items.
  const RawByteString wanted = XmlEscape(name);
  for (size_t i = 0; i < FItems.size(); ++i)
    if (XmlNameMatches(FItems[i]->Name, wanted)) return static_cast<int>(i);
  return -1;
}

class TXmlNode : public TXmlKey {
public:
  explicit TXmlNode(TXmlNode* parent = nullptr) : Parent(parent) {}
  // Frees the subtree without recursion, so that no nesting depth can
  // exhaust the stack.
  ~TXmlNode();
  TXmlNode(const TXmlNode&) = delete;
  TXmlNode& operator=(const TXmlNode&) = delete;

  TXmlAttributeList Attributes;
  TXmlNodeList Children;
  TXmlNode* Parent;

  TXmlNode* AddChild(const WideString& name);
  TXmlNode* FindChild(const WideString& name) const;
  TXmlNode* ChildByName(const WideString& name);
  TXmlAttribute* FindAttribute(const WideString& name) const;
  TXmlAttribute* AttributeByName(const WideString& name);
  WideString GetName() const;
  // The bytes of a start tag, from "<" to ">" inclusive.
  void ParseTag(const char* start, const char* end);
  // Each child in turn. A content left for later (the items of a list in a
  // document read for objects) is read one child at a time, and each is
  // freed after its visit: the children are not kept.
  void ForEachChild(const std::function<void(TXmlNode*)>& visit);
  // A content left in the document's bytes [begin, end), checked already,
  // read into Children when first asked for.
  void DeferContent(const char* document, const char* begin, const char* end);
  void ExpandContent();
  RawByteString TagText() const;
  void WriteTo(std::vector<RawByteString>& lines, bool formatted, const RawByteString& indent) const;

private:
  const char* FDocument = nullptr;
  const char* FDeferredBegin = nullptr;  // none: Children is complete
  const char* FDeferredEnd = nullptr;
};

class TXmlDocument {
public:
  TXmlDocument();
  explicit TXmlDocument(const WideString& rootName);
  TXmlDocument(const TXmlDocument&) = delete;
  TXmlDocument& operator=(const TXmlDocument&) = delete;

  bool Formatted = true;
  bool WriteDeclaration = true;
  // Read for objects: the content of each "Items" element (a list's items)
  // is checked as it is read but left in the bytes, for the list to read
  // one item at a time (ForEachChild). A script of 20,000 files then never
  // stands in memory as a tree. The bytes given to LoadFromBuffer, or the
  // memory stream given to LoadFromStream, must outlive the document.
  bool DeferItems = false;
  std::unique_ptr<TXmlNode> Root;

  void LoadFromBuffer(const char* buffer, size_t length);
  void LoadFromStream(TStream& stream);
  RawByteString SaveToString() const;
  void SaveToStream(TStream& stream) const;

private:
  RawByteString FKept;  // the bytes read from a stream, for DeferItems
};

// ---- persistent objects ----------------------------------------------------

class TXmlPersistent : public TObject {
public:
  TXmlPersistent() = default;
  TXmlPersistent(const TXmlPersistent&) = delete;
  TXmlPersistent& operator=(const TXmlPersistent&) = delete;

  const char* ClassName() const override { return "TXmlPersistent"; }
  const TClassInfo* PublishedInfo() const override;
  static const TClassInfo& StaticClassInfo();

  virtual void CopyFrom(const TObject* source);
  // The virtual constructor: a new object of this object's class with the
  // constructor's defaults. Each class overrides it (QV_PERSISTENT does).
  virtual TXmlPersistent* NewInstance() const { return new TXmlPersistent(); }
  virtual std::unique_ptr<TXmlPersistent> Clone() const;
  virtual void CopyViaXml(const TXmlPersistent& source);
  virtual bool SameAs(const TObject* other) const;
  virtual void LoadFromJson(const nlohmann::json& json, int options);
  virtual void LoadFromFile(const WideString& fileName, int options = 0);
  virtual void LoadFromNode(TXmlNode* node, int options);
  virtual void LoadFromStream(TStream& stream, int options = 0);
  virtual void SaveToJson(nlohmann::json& json, int options) const;
  virtual void SaveToJsonStream(TStream& stream, int options = 0) const;
  virtual void SaveToFile(const WideString& fileName, int options = 0) const;
  virtual void SaveToNode(TXmlNode* node, int options) const;
  virtual void SaveToStream(TStream& stream, int options = 0) const;
};

// Declares the class name, the published description and the virtual
// constructor of a persistent class; define Class::StaticClassInfo() in the
// unit's source.
#define QV_PERSISTENT(Class)                                                     \
public:                                                                          \
  static const TClassInfo& StaticClassInfo();                                    \
  const TClassInfo* PublishedInfo() const override { return &StaticClassInfo(); } \
  const char* ClassName() const override { return #Class; }                      \
  TXmlPersistent* NewInstance() const override { return new Class(); }

// For abstract bases: no virtual constructor.
#define QV_PERSISTENT_ABSTRACT(Class)                                            \
public:                                                                          \
  static const TClassInfo& StaticClassInfo();                                    \
  const TClassInfo* PublishedInfo() const override { return &StaticClassInfo(); } \
  const char* ClassName() const override { return #Class; }

void SavePublishedProperties(const TObject* object, TXmlNode* node, int options);
void LoadPublishedProperties(TObject* object, TXmlNode* node, int options);

// An owning list of persistent objects with a factory for its items.
class TXmlObjectList : public TXmlPersistent {
  QV_PERSISTENT_ABSTRACT(TXmlObjectList)
public:
  TXmlObjectList() = default;
  ~TXmlObjectList() override;

  void CopyFrom(const TObject* source) override;
  void LoadFromJson(const nlohmann::json& json, int options) override;
  void LoadFromNode(TXmlNode* node, int options) override;
  void SaveToJson(nlohmann::json& json, int options) const override;
  void SaveToJsonStream(TStream& stream, int options = 0) const override;
  void SaveToNode(TXmlNode* node, int options) const override;

  // A new item for an element of the given name, or none to skip it.
  virtual TXmlPersistent* CreateItem(const WideString& elementName) = 0;
  virtual void Clear();
  virtual bool SameItems(const TXmlObjectList* other) const;

  // Appends and takes ownership.
  void Add(TXmlPersistent* item);
  void Add(std::unique_ptr<TXmlPersistent> item) { Add(item.release()); }
  int Count() const;
  // A negative index counts from the end (-1 is the last item); outside the
  // list raises EListError "List index out of bounds (%d)".
  TXmlPersistent* Items(int index) const;
  void Delete(int index);

private:
  std::vector<std::unique_ptr<TXmlPersistent>>& List();
  std::unique_ptr<std::vector<std::unique_ptr<TXmlPersistent>>> FList;  // made on first use
};
