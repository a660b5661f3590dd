#include <gtest/gtest.h>

#include <memory>

#include <nlohmann/json.hpp>

#include "PersistentFixtures.h"
#include "QvClasses.h"
#include "QvIndyUtils.h"
#include "QvXmlUtils.h"

using nlohmann::json;

namespace {

TEST(JsonForm, MembersByKind) {
  TTestThing t;
  t.Count = -3;
  t.Flag = true;
  t.Ratio = 0.25;
  t.Colours = 0b011;
  t.Big = INT64_C(1) << 40;
  t.Mode = tmSecond;
  t.Inner->Level = 6;
  json j = json::object();
  t.SaveToJson(j, 0);
  EXPECT_EQ(j, json::parse(R"({"Name":"fixed","Count":-3,"Flag":"True","Ratio":0.25,"Title":"","Narrow":"",
                               "Colours":"Red,Green","Big":1099511627776,"Mode":"tmSecond","Inner":{"Level":6}})"));
  EXPECT_FALSE(j.contains("OnChange"));
}

TEST(JsonForm, LoadingFollowsTheTextRulesAndKeepsMissingMembers) {
  TTestThing t;
  t.Title = u"default";
  t.Count = 4;
  t.LoadFromJson(json::parse(R"({"Name":"x","Count":"not a number","Flag":"true","Ratio":1.5,
                                 "Colours":"Blue","Mode":"nonsense","Inner":{"Level":2},"Big":null})"),
                 0);
  EXPECT_EQ(t.Name, u"fixed");   // not writable
  EXPECT_EQ(t.Count, 4);          // unconvertible: ignored
  EXPECT_TRUE(t.Flag);
  EXPECT_EQ(t.Ratio, 1.5);
  EXPECT_EQ(t.Colours, 0b100u);
  EXPECT_EQ(t.Mode, tmFirst);     // unknown name: first value
  EXPECT_EQ(t.Inner->Level, 2);
  EXPECT_EQ(t.Title, u"default");

  t.LoadFromJson(json::parse(R"({"Count":5000000000,"Flag":"maybe"})"), 0);
  EXPECT_EQ(t.Count, 4);  // outside 32 bits
  EXPECT_FALSE(t.Flag);

  try {
    t.LoadFromJson(json::parse(R"({"Count":8,"Colours":"Red,Mauve","Mode":"tmSecond"})"), 0);
    FAIL();
  } catch (const EPropertyConvertError& e) {
    EXPECT_EQ(e.Message(), u"Invalid property element: Mauve");
  }
  EXPECT_EQ(t.Count, 8);         // set before the failure
  EXPECT_EQ(t.Mode, tmFirst);    // after it: untouched
}

TEST(JsonForm, StreamIsIndentedAsciiThatParsesBack) {
  TTestThing t;
  t.Title = u"\u4e2d\u6587 \"q\"";
  TMemoryStream s;
  t.SaveToJsonStream(s);
  const std::string& text = s.Bytes();
  for (unsigned char c : text) ASSERT_LT(c, 0x80);
  EXPECT_NE(text.find("\\u4e2d\\u6587"), std::string::npos);
  EXPECT_NE(text.find("\n    \""), std::string::npos);
  TTestThing back;
  back.LoadFromJson(json::parse(text), 0);
  EXPECT_TRUE(back.SameAs(&t));
}

TEST(JsonForm, ListsCarryItemsWithTheirClassNames) {
  TTestList list;
  list.Add(new TTestInner(1));
  list.Add(new TTestInner(2));
  TMemoryStream s;
  list.SaveToJsonStream(s);
  const json j = json::parse(s.Bytes());
  EXPECT_EQ(j, json::parse(R"({"Items":[{"Level":1,"ClassName":"TTestInner"},{"Level":2,"ClassName":"TTestInner"}]})"));

  TTestList back;
  back.Add(new TTestInner(9));
  back.LoadFromJson(json::parse(R"({"Items":[{"Level":3,"ClassName":"TTestInner"},{"Level":4,"ClassName":"Nope"},
                                             {"Level":5},{"Level":6,"ClassName":"ttestinner"}]})"),
                    0);
  ASSERT_EQ(back.Count(), 2);
  EXPECT_EQ(static_cast<TTestInner*>(back.Items(0))->Level, 3);
  EXPECT_EQ(static_cast<TTestInner*>(back.Items(1))->Level, 6);

  back.LoadFromJson(json::object(), 0);
  EXPECT_EQ(back.Count(), 0);

  TTestList empty;
  TMemoryStream e;
  empty.SaveToJsonStream(e);
  EXPECT_EQ(json::parse(e.Bytes()), json::parse(R"({"Items":[]})"));
}

TEST(JsonForm, UnsupportedKindsNameTheirTypeAndLine) {
  TOddThing odd;
  json j = json::object();
  try {
    odd.SaveToJson(j, 0);
    FAIL();
  } catch (const EAssertionFailed& e) {
    EXPECT_EQ(e.Msg(), u"Variant");
    EXPECT_EQ(e.UnitName(), u"Common\\QvXmlUtils");
    EXPECT_EQ(e.Line(), 3072);
  }
  try {
    odd.LoadFromJson(j, 0);
    FAIL();
  } catch (const EAssertionFailed& e) {
    EXPECT_EQ(e.Line(), 2340);
  }
}

}  // namespace

namespace {

// The user's proxy settings: five published members, port 8080 by default,
// copied whole (the online download copies them into the process-wide set).
TEST(JsonForm, ProxySettingsDefaultsAndCopy) {
  TQvHttpProxy proxy;
  json j = json::object();
  proxy.SaveToJson(j, 0);
  EXPECT_EQ(j, json::parse(R"({"Address":"","Checked":"False","Password":"","Port":8080,"UserName":""})"));

  proxy.Address = u"proxy.example.com";
  proxy.Checked = true;
  proxy.Port = 3128;
  proxy.UserName = u"用户";
  HttpProxy().CopyFrom(&proxy);
  EXPECT_EQ(&HttpProxy(), &HttpProxy());
  EXPECT_TRUE(HttpProxy().SameAs(&proxy));
  HttpProxy().CopyFrom(std::unique_ptr<TQvHttpProxy>(new TQvHttpProxy()).get());
  EXPECT_EQ(HttpProxy().Port, 8080);
}

}  // namespace
