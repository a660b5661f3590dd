#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "PersistentFixtures.h"
#include "QvClasses.h"
#include "QvSysUtils.h"
#include "QvXmlUtils.h"

namespace {

std::string SaveXml(const TXmlPersistent& o) {
  TMemoryStream s;
  o.SaveToStream(s);
  return s.Bytes();
}

void LoadXml(TXmlPersistent& o, const std::string& xml) {
  TMemoryStream s(xml);
  o.LoadFromStream(s);
}

TEST(XmlPersistent, WritesEveryReadablePropertyInDeclarationOrder) {
  TTestThing t;
  t.Count = -7;
  t.Flag = true;
  t.Ratio = 2.5;
  t.Title = u"a<b> & \u4e2d";
  t.Narrow = "plain";
  t.Colours = 0b101;
  t.Big = INT64_C(-9000000000);
  t.Inner->Level = 3;
  EXPECT_EQ(SaveXml(t),
            "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
            "<TTestThing Name=\"fixed\" Count=\"-7\" Flag=\"True\" Ratio=\"2.5\" Title=\"a&lt;b&gt; &amp; \xe4\xb8\xad\" "
            "Narrow=\"plain\" Colours=\"Red,Blue\" Big=\"-9000000000\" Mode=\"tmFirst\">\r\n"
            "    <Inner Level=\"3\"/>\r\n"
            "</TTestThing>\r\n");
}

TEST(XmlPersistent, ReadsValuesByTheirTextRules) {
  TTestThing t;
  t.Count = 5;
  t.Flag = false;
  t.Ratio = 1.0;
  LoadXml(t, "<X count=\"$10\" FLAG=\"true\" Ratio=\"oops\" Colours=\"[Green Blue]\" Big=\"0x10\" Mode=\"TMSECOND\"/>");
  EXPECT_EQ(t.Count, 16);
  EXPECT_TRUE(t.Flag);
  EXPECT_EQ(t.Ratio, 1.0);  // unparsable: unchanged
  EXPECT_EQ(t.Colours, 0b110u);
  EXPECT_EQ(t.Big, 16);
  EXPECT_EQ(t.Mode, tmSecond);

  LoadXml(t, "<X Count=\"12abc\" Flag=\"yes\" Mode=\"\"/>");
  EXPECT_EQ(t.Count, 16);   // unparsable: unchanged
  EXPECT_FALSE(t.Flag);     // unknown name: first value
  EXPECT_EQ(t.Mode, tmSecond);  // empty: unchanged

  try {
    LoadXml(t, "<X Colours=\"Red,Purple\"/>");
    FAIL() << "unknown set element accepted";
  } catch (const EPropertyConvertError& e) {
    EXPECT_EQ(e.Message(), u"Invalid property element: Purple");
  }
}

TEST(XmlPersistent, ReadOnlyScalarsAreWrittenButNotRead) {
  TTestThing t;
  LoadXml(t, "<X Name=\"changed\"/>");
  EXPECT_EQ(t.Name, u"fixed");
  EXPECT_NE(SaveXml(t).find("Name=\"fixed\""), std::string::npos);
}

TEST(XmlPersistent, SavingTwiceIntoOneElementOverwrites) {
  TTestThing t;
  TXmlDocument doc(u"Root");
  t.Count = 1;
  t.SaveToNode(doc.Root.get(), 0);
  t.Count = 2;
  t.SaveToNode(doc.Root.get(), 0);
  EXPECT_EQ(doc.Root->Attributes.Count(), 9);
  EXPECT_EQ(doc.Root->FindAttribute(u"Count")->GetValue(), u"2");
  EXPECT_EQ(doc.Root->Children.Count(), 1);
}

TEST(XmlPersistent, AnyRootNameLoadsAndAnEmptyDocumentChangesNothing) {
  TTestThing t;
  LoadXml(t, "<?xml version=\"1.0\"?><Something Count=\"42\"><inner level=\"9\"/></Something>");
  EXPECT_EQ(t.Count, 42);
  EXPECT_EQ(t.Inner->Level, 9);
  LoadXml(t, "<?xml version=\"1.0\"?>");
  EXPECT_EQ(t.Count, 42);
}

TEST(XmlPersistent, UnsupportedKindsAreConsistencyErrors) {
  TOddThing odd;
  TXmlDocument doc(u"Root");
  try {
    odd.SaveToNode(doc.Root.get(), 0);
    FAIL();
  } catch (const EAssertionFailed& e) {
    EXPECT_EQ(e.Msg(), u"Variant");
    EXPECT_EQ(e.UnitName(), u"Common\\QvXmlUtils");
  }
  EXPECT_THROW(odd.LoadFromNode(doc.Root.get(), 0), EAssertionFailed);
  TOddThing other;
  try {
    other.CopyFrom(&odd);
    FAIL();
  } catch (const EAssertionFailed& e) {
    EXPECT_EQ(e.Msg(), u"Assertion failure");
  }
}

TEST(XmlPersistent, CopyCloneAndCompare) {
  TTestThing a;
  a.Count = 9;
  a.Title = u"t";
  a.Colours = 1;
  a.Inner->Level = 4;
  auto b = a.Clone();
  ASSERT_STREQ(b->ClassName(), "TTestThing");
  EXPECT_TRUE(a.SameAs(b.get()));
  auto* bt = static_cast<TTestThing*>(b.get());
  EXPECT_NE(bt->Inner.get(), a.Inner.get());
  EXPECT_EQ(bt->Inner->Level, 4);

  bt->Inner->Level = 5;
  EXPECT_FALSE(a.SameAs(bt));
  bt->Inner->Level = 4;
  bt->Title = u"T";  // exact, case-sensitive
  EXPECT_FALSE(a.SameAs(bt));
  EXPECT_FALSE(a.SameAs(nullptr));
  TTestInner inner;
  EXPECT_FALSE(a.SameAs(&inner));

  try {
    a.CopyFrom(nullptr);
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), u"Cannot assign a nil to a TTestThing");
  }
  TObject plain;
  try {
    a.CopyFrom(&plain);
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), u"Cannot assign a TObject to a TTestThing");
  }
}

TEST(XmlPersistent, CopyConvertsBetweenUnlikeKindsByName) {
  // TOtherThing declares Count and Mode as text and Flag as an integer:
  // values travel through their text forms.
  TOtherThing src;
  src.Count = u"77";
  src.Flag = 1;
  src.Mode = u"tmSecond";
  TTestThing dst;
  dst.Title = u"kept";
  dst.CopyFrom(&src);
  EXPECT_EQ(dst.Count, 77);
  EXPECT_FALSE(dst.Flag);  // "1" names no Boolean value
  EXPECT_EQ(dst.Mode, tmSecond);
  EXPECT_EQ(dst.Title, u"kept");  // the source lacks it
}

TEST(XmlPersistent, CopyViaXmlGoesThroughTheTextForm) {
  TTestThing a;
  a.Count = 3;
  a.Ratio = 0.1;
  a.Inner->Level = 8;
  TTestThing b;
  b.CopyViaXml(a);
  EXPECT_TRUE(a.SameAs(&b));
}

TEST(XmlPersistent, FilesRoundTripAndNameTheirErrors) {
  const WideString sep(1, PathDelim());
  const WideString dir = Utf8ToWide(testing::TempDir()) + u"xp_files" + sep + u"sub" + sep + u"deeper" + sep;
  const WideString file = dir + u"thing.xml";
  TTestThing a;
  a.Count = 11;
  a.SaveToFile(file);  // creates the missing folders
  TTestThing b;
  b.LoadFromFile(file);
  EXPECT_EQ(b.Count, 11);

  EXPECT_THROW(a.SaveToFile(u"no-folder.xml"), EInOutError);
  try {
    b.LoadFromFile(dir + u"missing.xml");
    FAIL();
  } catch (const EFOpenError& e) {
    EXPECT_NE(e.Message().find(u"Cannot open file \""), WideString::npos);
    EXPECT_NE(e.Message().find(u"missing.xml"), WideString::npos);
  }
}

// ---- lists ------------------------------------------------------------------

TEST(XmlObjectList, SavesItemsUnderItemsAndReadsThemBack) {
  TTestList list;
  list.Add(new TTestInner(1));
  list.Add(new TTestInner(2));
  const std::string xml = SaveXml(list);
  EXPECT_EQ(xml,
            "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
            "<TTestList>\r\n"
            "    <Items>\r\n"
            "        <TTestInner Level=\"1\"/>\r\n"
            "        <TTestInner Level=\"2\"/>\r\n"
            "    </Items>\r\n"
            "</TTestList>\r\n");

  TTestList again;
  again.Add(new TTestInner(99));
  LoadXml(again, xml);
  ASSERT_EQ(again.Count(), 2);
  EXPECT_TRUE(list.SameItems(&again));

  TTestList empty;
  EXPECT_EQ(SaveXml(empty), "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<TTestList>\r\n    <Items/>\r\n</TTestList>\r\n");
}

TEST(XmlObjectList, LoadingReplacesTheContent) {
  TTestList list;
  list.Add(new TTestInner(1));
  LoadXml(list, "<L><Items/></L>");
  EXPECT_EQ(list.Count(), 0);

  // Without "Items" the element's own children are the items; elements the
  // factory does not know are skipped.
  LoadXml(list, "<L><TTestInner Level=\"5\"/><Unknown/><ttestinner Level=\"6\"/></L>");
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(static_cast<TTestInner*>(list.Items(1))->Level, 6);
}

// A list reads its items straight from the document's bytes, one at a
// time. Whatever the markup, the outcome must be the one of the whole tree:
// the same items, or the same error with the same place.
TEST(XmlObjectList, ItemsReadOneAtATimeComeOutAsFromTheWholeTree) {
  const char* const documents[] = {
      // comments, text, instructions, CDATA and unknown elements between
      // items; an item closed by a separate end tag; a nested Items that
      // belongs to an unknown element
      "<L><Items> <!-- c <TTestInner Level=\"8\"/> --> <TTestInner Level=\"1\"></TTestInner> text <?pi?>"
      "<TTestInner Level=\"2\"/><![CDATA[<TTestInner Level=\"7\"/>]]><Unknown><Items><TTestInner Level=\"9\"/>"
      "</Items></Unknown><ttestinner Level=\"3\"><child/></ttestinner></Items></L>",
      // an end tag written "</x/>" closes twice: inside an item, and as the
      // one that closes the last item and Items itself
      "<L><Items><TTestInner Level=\"1\"><a></a/><TTestInner Level=\"2\"/></Items></L>",
      "<L><Items><TTestInner Level=\"1\"></TTestInner/><TTestInner Level=\"2\"/></L>",
      "<L><Items></x/><TTestInner Level=\"2\"/></L>",
      // a stray end tag inside Items closes it early
      "<L><Items><TTestInner Level=\"1\"/></x><TTestInner Level=\"2\"/></Items></L>",
      // Items that never closes, and an empty one
      "<L><Items><TTestInner Level=\"1\"/><TTestInner Level=\"2\">",
      "<L><Items></Items></L>",
      // damage inside the items: every one raised before any item is read
      "<L><Items><TTestInner Level=\"1\"/>\n  <!-- open comment </Items></L>",
      "<L><Items><TTestInner Level=\"1\"/>\n<![CDATA[ open </Items></L>",
      "<L><Items><TTestInner Level=\"1\"/>\n<TTestInner Level=\"2\"",
      "<L><Items><TTestInner Level=\"1\"/><TTestInner Level=2/></Items></L>",
      "<L><Items><TTestInner Level=\"1\"/>< Level=\"2\"/></Items></L>",
      "<L><Items><TTestInner Level=\"1\"/></Items></L></L>",
  };
  for (const char* xml : documents) {
    SCOPED_TRACE(xml);
    TTestList whole;
    std::string wholeError;
    try {
      TXmlDocument doc;
      doc.LoadFromBuffer(xml, std::strlen(xml));
      if (doc.Root) whole.LoadFromNode(doc.Root.get(), 0);
    } catch (const Exception& e) {
      wholeError = std::string(e.ClassName()) + ": " + WideToUtf8(e.Message());
    }
    TTestList streamed;
    streamed.Add(new TTestInner(99));
    std::string streamedError;
    try {
      LoadXml(streamed, xml);
    } catch (const Exception& e) {
      streamedError = std::string(e.ClassName()) + ": " + WideToUtf8(e.Message());
    }
    EXPECT_EQ(streamedError, wholeError);
    if (wholeError.empty()) {
      EXPECT_TRUE(whole.SameItems(&streamed)) << streamed.Count() << " items instead of " << whole.Count();
    } else {
      // The document is checked whole before the list changes.
      ASSERT_EQ(streamed.Count(), 1);
      EXPECT_EQ(static_cast<TTestInner*>(streamed.Items(0))->Level, 99);
    }
  }
}

// A document read for objects keeps the items' markup for later; asked for
// them as a tree, or written, it gives what the whole reading would.
TEST(XmlObjectList, DeferredItemsReadAsATreeOnDemand) {
  const std::string xml =
      "<L><Items><TTestInner Level=\"1\"/><!-- c --><TTestInner Level=\"2\">x</TTestInner></Items><B/></L>";
  TXmlDocument whole, deferred;
  deferred.DeferItems = true;
  whole.LoadFromBuffer(xml.data(), xml.size());
  deferred.LoadFromBuffer(xml.data(), xml.size());
  EXPECT_EQ(deferred.SaveToString(), whole.SaveToString());
  TXmlDocument again;
  again.DeferItems = true;
  again.LoadFromBuffer(xml.data(), xml.size());
  TXmlNode* items = again.Root->FindChild(u"Items");
  ASSERT_NE(items, nullptr);
  ASSERT_NE(items->FindChild(u"TTestInner"), nullptr);
  EXPECT_EQ(items->Children.Count(), 2);
  EXPECT_EQ(items->Children[1]->Text, "x");
}

TEST(XmlObjectList, AListThatIsAPropertyKeepsItsItemsWhenItsElementIsMissing) {
  TTestHolder h;
  h.List->Add(new TTestInner(1));
  LoadXml(h, "<H/>");
  EXPECT_EQ(h.List->Count(), 1);
  LoadXml(h, "<H><List><Items/></List></H>");
  EXPECT_EQ(h.List->Count(), 0);
}

TEST(XmlObjectList, IndexingCountsFromTheEndAndChecksBounds) {
  TTestList list;
  EXPECT_EQ(list.Count(), 0);
  try {
    list.Items(0);
    FAIL();
  } catch (const EListError& e) {
    EXPECT_EQ(e.Message(), u"List index out of bounds (0)");
  }
  for (int i = 0; i < 3; ++i) list.Add(new TTestInner(i));
  EXPECT_EQ(static_cast<TTestInner*>(list.Items(-1))->Level, 2);
  EXPECT_EQ(static_cast<TTestInner*>(list.Items(-3))->Level, 0);
  EXPECT_THROW(list.Items(-4), EListError);
  EXPECT_THROW(list.Items(3), EListError);
  list.Delete(-1);
  EXPECT_EQ(list.Count(), 2);
  EXPECT_THROW(list.Delete(2), EListError);
}

TEST(XmlObjectList, CloneHoldsClonesAndSameAsIgnoresItems) {
  TTestList list;
  list.Add(new TTestInner(1));
  list.Add(new TTestInner(2));
  auto copy = list.Clone();
  auto* copied = static_cast<TTestList*>(copy.get());
  ASSERT_EQ(copied->Count(), 2);
  EXPECT_NE(copied->Items(0), list.Items(0));
  EXPECT_TRUE(list.SameItems(copied));

  static_cast<TTestInner*>(copied->Items(1))->Level = 7;
  EXPECT_FALSE(list.SameItems(copied));
  EXPECT_TRUE(list.SameAs(copied));
  copied->Delete(0);
  EXPECT_FALSE(list.SameItems(copied));

  // Copying a list into itself keeps its items.
  list.CopyFrom(&list);
  EXPECT_EQ(list.Count(), 2);
}

TEST(XmlNode, DeepTreesAreFreedWithoutRecursion) {
  std::string xml;
  const int depth = 200000;
  for (int i = 0; i < depth; ++i) xml += "<a>";
  for (int i = 0; i < depth; ++i) xml += "</a>";
  auto doc = std::make_unique<TXmlDocument>();
  doc->LoadFromBuffer(xml.data(), xml.size());
  doc.reset();
  SUCCEED();
}

}  // namespace
