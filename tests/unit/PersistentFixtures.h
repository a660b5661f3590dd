// Small persistent classes that exercise every property kind the
// persistence layer knows, shared by the XML and JSON tests.
#pragma once

#include <memory>

#include "QvTypInfo.h"
#include "QvXmlUtils.h"

enum TTestMode { tmFirst, tmSecond };

class TTestInner : public TXmlPersistent {
  QV_PERSISTENT(TTestInner)
public:
  TTestInner() = default;
  explicit TTestInner(int32_t level) : Level(level) {}
  int32_t Level = 0;
};

inline const TClassInfo& TTestInner::StaticClassInfo() {
  static const TClassInfo info("TTestInner", &TXmlPersistent::StaticClassInfo(),
                               {IntegerProp("Level", &TTestInner::Level)});
  return info;
}

class TTestThing : public TXmlPersistent {
  QV_PERSISTENT(TTestThing)
public:
  WideString Name = u"fixed";
  int32_t Count = 0;
  bool Flag = false;
  double Ratio = 0;
  WideString Title;
  RawByteString Narrow;
  uint32_t Colours = 0;
  int64_t Big = 0;
  TTestMode Mode = tmFirst;
  std::unique_ptr<TTestInner> Inner = std::make_unique<TTestInner>();
};

inline const TClassInfo& TTestThing::StaticClassInfo() {
  static const TClassInfo info("TTestThing", &TXmlPersistent::StaticClassInfo(), [] {
    TPropInfo name = WStrProp("Name", &TTestThing::Name);
    name.Writable = false;
    return std::vector<TPropInfo>{
        name,
        IntegerProp("Count", &TTestThing::Count),
        BoolProp("Flag", &TTestThing::Flag),
        FloatProp("Ratio", &TTestThing::Ratio, "TDateTime"),
        WStrProp("Title", &TTestThing::Title),
        AStrProp("Narrow", &TTestThing::Narrow),
        SetProp("Colours", &TTestThing::Colours, "TColours", {"Red", "Green", "Blue"}),
        Int64Prop("Big", &TTestThing::Big),
        EnumProp("Mode", &TTestThing::Mode, "TTestMode", {"tmFirst", "tmSecond"}),
        MethodProp("OnChange", "TNotifyEvent"),
        ObjectProp("Inner", &TTestThing::Inner, "TTestInner"),
    };
  }());
  return info;
}

// Same names as TTestThing, other kinds: copies convert through text.
class TOtherThing : public TXmlPersistent {
  QV_PERSISTENT(TOtherThing)
public:
  WideString Count;
  int32_t Flag = 0;
  WideString Mode;
};

inline const TClassInfo& TOtherThing::StaticClassInfo() {
  static const TClassInfo info("TOtherThing", &TXmlPersistent::StaticClassInfo(),
                               {WStrProp("Count", &TOtherThing::Count), IntegerProp("Flag", &TOtherThing::Flag),
                                WStrProp("Mode", &TOtherThing::Mode)});
  return info;
}

// A class with a property kind that persistence cannot store.
class TOddThing : public TXmlPersistent {
  QV_PERSISTENT(TOddThing)
};

inline const TClassInfo& TOddThing::StaticClassInfo() {
  static const TClassInfo info("TOddThing", &TXmlPersistent::StaticClassInfo(), [] {
    TPropInfo v;
    v.Name = "Value";
    v.Kind = TTypeKind::tkVariant;
    v.TypeName = "Variant";
    return std::vector<TPropInfo>{v};
  }());
  return info;
}

class TTestList : public TXmlObjectList {
  QV_PERSISTENT(TTestList)
public:
  TXmlPersistent* CreateItem(const WideString& elementName) override {
    return SameText(elementName, u"TTestInner") ? new TTestInner() : nullptr;
  }
};

inline const TClassInfo& TTestList::StaticClassInfo() {
  static const TClassInfo info("TTestList", &TXmlObjectList::StaticClassInfo(), {});
  return info;
}

class TTestHolder : public TXmlPersistent {
  QV_PERSISTENT(TTestHolder)
public:
  std::unique_ptr<TTestList> List = std::make_unique<TTestList>();
};

inline const TClassInfo& TTestHolder::StaticClassInfo() {
  static const TClassInfo info("TTestHolder", &TXmlPersistent::StaticClassInfo(),
                               {ObjectProp("List", &TTestHolder::List, "TTestList")});
  return info;
}
