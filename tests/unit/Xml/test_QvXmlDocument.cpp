#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "QvXmlUtils.h"

namespace {

std::unique_ptr<TXmlDocument> Parse(const std::string& text) {
  auto doc = std::make_unique<TXmlDocument>();
  doc->LoadFromBuffer(text.data(), text.size());
  return doc;
}

std::string Utf8(const WideString& s) { return WideToUtf8(s); }

// Runs f and checks that it raises E with the given message.
template <class E, class F>
void ExpectMessage(F f, const WideString& message, const std::string& context) {
  try {
    f();
    ADD_FAILURE() << "no exception: " << context;
  } catch (const E& e) {
    EXPECT_EQ(e.Message(), message) << context;
  }
}

const WideString kTagMismatch = u"XML 标签不匹配";

// ---- escaping --------------------------------------------------------------

TEST(XmlEscape, ReplacesTheEightSpecialBytesOnly) {
  EXPECT_EQ(XmlEscape(u"\t\n\r\"'&<>"), "&#x09;&#x0A;&#x0D;&quot;&apos;&amp;&lt;&gt;");
  // Other controls and multi-byte sequences pass unchanged.
  EXPECT_EQ(XmlEscape(u"a\x01z 中"), std::string("a\x01z ") + "\xE4\xB8\xAD");
}

TEST(XmlEscape, RoundTripsThroughUnescape) {
  const WideString samples[] = {u"a<b\"", u"line1\r\nline2\tend", u"&amp; is not &", u"'中文' > \"x\"", u""};
  for (const WideString& s : samples) EXPECT_EQ(XmlUnescape(XmlEscape(s)), s) << Utf8(s);
}

// ---- unescaping ------------------------------------------------------------

TEST(XmlUnescape, NumericReferences) {
  EXPECT_EQ(XmlUnescape("&#65;&#x41;&#X41;"), u"AAA");
  EXPECT_EQ(XmlUnescape("&#x4e2d;&#20013;"), u"中中");
  // Beyond the BMP: a surrogate pair, not the low 16 bits.
  EXPECT_EQ(XmlUnescape("&#x1F600;"), WideString(u"\xD83D\xDE00"));
  EXPECT_EQ(XmlUnescape("&#1114111;"), WideString(u"\xDBFF\xDFFF"));
  // Beyond the last code point, however long: the replacement character.
  EXPECT_EQ(XmlUnescape("&#x110000;"), u"\xFFFD");
  EXPECT_EQ(XmlUnescape("&#99999999999999999999999999999;"), u"\xFFFD");
  EXPECT_EQ(XmlUnescape("&#xFFFFFFFFFFFFFFFFFFFFFFFF;z"), u"\xFFFDz");
}

TEST(XmlUnescape, NamedEntitiesIgnoreCase) {
  EXPECT_EQ(XmlUnescape("&LT;&gt;&Amp;&QUOT;&apos;"), u"<>&\"'");
  EXPECT_EQ(XmlUnescape("\xE4\xB8\xAD&amp;\xE6\x96\x87"), u"中&文");
}

TEST(XmlUnescape, Failures) {
  for (const char* bad : {"a & b", "&lt"}) ExpectMessage<EXmlException>([&] { XmlUnescape(bad); }, kTagMismatch, bad);
  for (const char* bad : {"&nbsp;", "&;", "x&unknown;y"}) {
    try {
      XmlUnescape(bad);
      FAIL() << bad;
    } catch (const EAssertionFailed& e) {
      EXPECT_EQ(e.Msg(), u"Assertion failure") << bad;
      EXPECT_EQ(e.UnitName(), u"Common\\QvXmlUtils") << bad;
      EXPECT_GT(e.Line(), 0);
    }
  }
  // The conversion error quotes the reference's text after "#".
  const struct { const char* in; const char16_t* message; } conversions[] = {
      {"&#12z;", u"'12z' is not a valid integer value"},
      {"&#x1G;", u"'x1G' is not a valid integer value"},
      {"&#;", u"'' is not a valid integer value"},
      {"&#x;", u"'x' is not a valid integer value"},
      {"&#-5;", u"'-5' is not a valid integer value"},
      {"&# 65;", u"' 65' is not a valid integer value"},
  };
  for (const auto& c : conversions) ExpectMessage<EConvertError>([&] { XmlUnescape(c.in); }, c.message, c.in);
}

// ---- parsing ---------------------------------------------------------------

TEST(XmlParse, TreeShapeRules) {
  // The end tag's name is not checked: "</d>" closes a.
  auto doc = Parse("<a><b/></d><c/>");
  ASSERT_TRUE(doc->Root);
  EXPECT_EQ(doc->Root->Name, "c");

  doc = Parse("<a><b/></d>");
  EXPECT_EQ(doc->Root->Name, "a");
  ASSERT_EQ(doc->Root->Children.Count(), 1);
  EXPECT_EQ(doc->Root->Children[0]->Name, "b");
  EXPECT_EQ(doc->Root->Children[0]->Parent, doc->Root.get());

  // Open elements at the end are accepted.
  doc = Parse("<a>");
  EXPECT_EQ(doc->Root->Name, "a");

  // A later top-level element replaces the root.
  doc = Parse("<a/><b/>");
  EXPECT_EQ(doc->Root->Name, "b");
  EXPECT_EQ(doc->Root->Parent, nullptr);

  doc = Parse("");
  EXPECT_FALSE(doc->Root);
}

TEST(XmlParse, TextRuns) {
  // Runs are not joined; the last one wins and is kept escaped.
  auto doc = Parse("<a>x<b/>y &amp; z</a>");
  EXPECT_EQ(doc->Root->Text, "y &amp; z");
  EXPECT_FALSE(doc->Root->CData);

  doc = Parse("<a><![CDATA[<raw> & ]]></a>");
  EXPECT_EQ(doc->Root->Text, "<raw> & ");
  EXPECT_TRUE(doc->Root->CData);
  // Whitespace after the section is a run too, and it is escaped text.
  doc = Parse("<a><![CDATA[x]]>\r\n</a>");
  EXPECT_EQ(doc->Root->Text, "\r\n");
  EXPECT_FALSE(doc->Root->CData);
  // An empty section changes nothing.
  doc = Parse("<a>keep<![CDATA[]]></a>");
  EXPECT_EQ(doc->Root->Text, "keep");
  EXPECT_FALSE(doc->Root->CData);
}

TEST(XmlParse, PrologCommentsAndInstructions) {
  // Encoding is not examined; the content is UTF-8 regardless.
  auto doc = Parse("\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"gb2312\"?>\r\n<!-- a > b -->"
                   "<r v=\"\xE4\xB8\xAD\"><!--<x/>--><?pi stuff?></r>");
  EXPECT_EQ(doc->Root->GetName(), u"r");
  EXPECT_EQ(doc->Root->FindAttribute(u"v")->GetValue(), u"中");
  EXPECT_EQ(doc->Root->Children.Count(), 0);
}

TEST(XmlParse, Attributes) {
  auto doc = Parse("<a n=\"a&lt;b&quot;\" empty=\"\" s='single' t = 'two' >");
  TXmlNode* a = doc->Root.get();
  EXPECT_EQ(a->Name, "a");
  ASSERT_EQ(a->Attributes.Count(), 4);
  EXPECT_EQ(a->Attributes[0]->Text, "a&lt;b&quot;");
  EXPECT_EQ(a->Attributes[0]->GetValue(), u"a<b\"");
  EXPECT_EQ(a->Attributes[1]->Text, "");
  EXPECT_EQ(a->Attributes[2]->Text, "single");
  EXPECT_EQ(a->Attributes[3]->Name, "t");
  EXPECT_EQ(a->Attributes[3]->Text, "two");

  // A double quote anywhere later decides the delimiter.
  doc = Parse("<a x='1' y=\"2\"/>");
  ASSERT_EQ(doc->Root->Attributes.Count(), 1);
  EXPECT_EQ(doc->Root->FindAttribute(u"x")->Text, "2");
  EXPECT_EQ(doc->Root->FindAttribute(u"y"), nullptr);

  // Only a space separates the name from the attributes.
  doc = Parse("<a\tb=\"1\">");
  EXPECT_EQ(doc->Root->Name, "a\tb=\"1\"");
  EXPECT_EQ(doc->Root->Attributes.Count(), 0);

  // Trailing text without "=" is ignored.
  doc = Parse("<a k=\"v\" junk/>");
  EXPECT_EQ(doc->Root->Attributes.Count(), 1);
}

TEST(XmlParse, MalformedTagsAreAssertionFailures) {
  for (const char* bad : {"<>", "< x=\"1\">", "<a =\"1\">", "<a k=1>", "<a k=\"1>", "<a k='1>", "<a/><>"}) {
    EXPECT_THROW(Parse(bad), EAssertionFailed) << bad;
  }
}

TEST(XmlParse, UnbalancedOrTruncatedInputIsXmlException) {
  const char* bad[] = {"<", "<a", "<a/", "<a><", "</a>", "</>", "<a/></b>", "<a></a></a>",
                       "<a><!-- never closed > </a>", "<!", "<!-", "<a><![CDATA[abc", "<![CDATA[",
                       "<a><![CDATA[x]]", "<?pi/>"};
  // The message starts with the parser's own text; the place follows.
  for (const char* text : bad) {
    try {
      Parse(text);
      ADD_FAILURE() << "no exception: " << text;
    } catch (const EXmlException& e) {
      EXPECT_EQ(e.Message().substr(0, kTagMismatch.size()), kTagMismatch) << text;
    }
  }
  // A stray ">" in text is plain text.
  EXPECT_EQ(Parse("<a>x></a>")->Root->Text, "x>");
  // A truncated CDATA opener is taken as a comment: without "-->" it fails.
  EXPECT_THROW(Parse("<a><![CDATA></a>"), EXmlException);
  // A failed load keeps what was built so far.
  TXmlDocument doc;
  const std::string text = "<a><b/></a></a>";
  EXPECT_THROW(doc.LoadFromBuffer(text.data(), text.size()), EXmlException);
  ASSERT_TRUE(doc.Root);
  EXPECT_EQ(doc.Root->Children.Count(), 1);
}

TEST(XmlParse, ErrorsNameTheLineAndColumnWhereParsingStopped) {
  const struct { const char* text; const char* place; } cases[] = {
      {"</a>", " (line 1, column 1)"},
      {"<a>\n  <b/>\n</a>\n</a>", " (line 4, column 1)"},
      {"<r>\r\n  <x k=\"\xE4\xB8\xAD\xE6\x96\x87\"/> <!-- open\n</r>", " (line 2, column 15)"},  // characters, not bytes
      {"<r>\n\t<![CDATA[never closed</r>", " (line 2, column 2)"},
  };
  for (const auto& c : cases)
    ExpectMessage<EXmlException>([&] { Parse(c.text); }, kTagMismatch + Utf8ToWide(c.place), c.text);
}

TEST(XmlParse, DeepNestingNeedsNoDeepStack) {
  const int depth = 200000;
  std::string text;
  for (int i = 0; i < depth; ++i) text += "<a>";
  TXmlDocument doc;
  doc.LoadFromBuffer(text.data(), text.size());
  doc.Formatted = false;
  doc.WriteDeclaration = false;
  const std::string saved = doc.SaveToString();
  EXPECT_EQ(saved.size(), static_cast<size_t>(depth) * 7 - 3);
  EXPECT_EQ(saved.substr(static_cast<size_t>(depth - 1) * 3, 8), "<a/></a>");
  // Replacing the tree frees the old one.
  doc.LoadFromBuffer("<b/>", 4);
  EXPECT_EQ(doc.Root->Name, "b");
}

// ---- lookup and building ---------------------------------------------------

TEST(XmlNode, LookupIgnoresAsciiCaseAndTakesTheFirst) {
  auto doc = Parse("<r><Items n=\"1\"/><ITEMS/><a&amp;b/><Ä/></r>");
  TXmlNode* r = doc->Root.get();
  EXPECT_EQ(r->FindChild(u"items"), r->Children[0]);
  EXPECT_EQ(r->FindChild(u"a&b"), r->Children[2]);
  EXPECT_EQ(r->FindChild(u"Ä"), r->Children[3]);
  EXPECT_EQ(r->FindChild(u"ä"), nullptr);  // only ASCII letters fold
  EXPECT_EQ(r->Children[0]->FindAttribute(u"N")->Text, "1");

  EXPECT_EQ(r->ChildByName(u"ITEMS"), r->Children[0]);
  TXmlNode* added = r->ChildByName(u"x<y");
  EXPECT_EQ(r->Children.Count(), 5);
  EXPECT_EQ(added->Name, "x&lt;y");
  EXPECT_EQ(added->GetName(), u"x<y");
  EXPECT_EQ(added->Parent, r);
  EXPECT_EQ(r->AddChild(u"items")->Name, "items");  // always appends
  EXPECT_EQ(r->Children.Count(), 6);

  TXmlAttribute* at = added->AttributeByName(u"k");
  EXPECT_EQ(added->AttributeByName(u"K"), at);
  EXPECT_EQ(added->Attributes.Count(), 1);
}

TEST(XmlAttribute, Values) {
  TXmlAttribute a;
  a.SetValue(u"1 < 2 \"中\"");
  EXPECT_EQ(a.Text, "1 &lt; 2 &quot;\xE4\xB8\xAD&quot;");
  EXPECT_EQ(a.GetValue(), u"1 < 2 \"中\"");

  a.CData = true;
  a.SetValue(u"<&>");
  EXPECT_EQ(a.Text, "<&>");
  EXPECT_EQ(a.GetValue(), u"<&>");

  a.SetInteger(INT64_MIN);
  EXPECT_FALSE(a.CData);
  EXPECT_EQ(a.Text, "-9223372036854775808");
  a.SetInteger(0);
  EXPECT_EQ(a.Text, "0");

  a.CData = true;
  a.SetFloat(2.5);
  EXPECT_FALSE(a.CData);
  EXPECT_EQ(a.GetValue(), FloatToStr(2.5));
}

// ---- writing ---------------------------------------------------------------

TEST(XmlWrite, FormattedTextIsExact) {
  TXmlDocument doc(u"A");
  doc.Root->AttributeByName(u"n")->SetValue(u"1");
  doc.Root->AddChild(u"B");
  EXPECT_EQ(doc.SaveToString(),
            "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
            "<A n=\"1\">\r\n"
            "    <B/>\r\n"
            "</A>\r\n");

  TXmlNode* b = doc.Root->Children[0];
  b->AddChild(u"C")->Text = "t&amp;";
  b->Text = "bt";
  TXmlNode* d = doc.Root->AddChild(u"D");
  d->CData = true;
  d->Text = "<x>";
  doc.Root->AttributeByName(u"m")->SetValue(u"a\r\nb");
  EXPECT_EQ(doc.SaveToString(),
            "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
            "<A n=\"1\" m=\"a&#x0D;&#x0A;b\">\r\n"
            "    <B>bt\r\n"
            "        <C>t&amp;</C>\r\n"
            "    </B>\r\n"
            "    <D><![CDATA[<x>]]></D>\r\n"
            "</A>\r\n");

  doc.Formatted = false;
  doc.WriteDeclaration = false;
  const std::string flat = doc.SaveToString();
  EXPECT_EQ(flat, "<A n=\"1\" m=\"a&#x0D;&#x0A;b\"><B>bt<C>t&amp;</C></B><D><![CDATA[<x>]]></D></A>");

  // The unformatted text reads back to the same tree.
  auto again = Parse(flat);
  EXPECT_EQ(again->Root->FindAttribute(u"m")->GetValue(), u"a\r\nb");
  EXPECT_EQ(again->Root->FindChild(u"b")->FindChild(u"c")->Text, "t&amp;");
  EXPECT_TRUE(again->Root->FindChild(u"d")->CData);
  EXPECT_EQ(again->Root->FindChild(u"d")->Text, "<x>");
  again->Formatted = false;
  again->WriteDeclaration = false;
  EXPECT_EQ(again->SaveToString(), flat);
}

TEST(XmlWrite, EmptyDocuments) {
  TXmlDocument doc;
  doc.WriteDeclaration = false;
  EXPECT_EQ(doc.Root->Name, "");
  doc.LoadFromBuffer("", 0);  // no root at all now
  EXPECT_EQ(doc.SaveToString(), "");
  doc.WriteDeclaration = true;
  EXPECT_EQ(doc.SaveToString(), "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n");
}

// ---- streams ---------------------------------------------------------------

TEST(XmlStreams, LoadFromTheCurrentPositionAndSaveAtIt) {
  const std::string text = "<r a=\"1\"/>";
  TXmlDocument doc;

  TMemoryStream whole(text);
  doc.LoadFromStream(whole);
  EXPECT_EQ(doc.Root->FindAttribute(u"a")->Text, "1");

  TMemoryStream offset("garbage<x/>" + text);
  offset.SetPosition(11);  // skips the "<x/>" too
  doc.LoadFromStream(offset);
  EXPECT_EQ(doc.Root->Name, "r");
  EXPECT_EQ(doc.Root->Attributes.Count(), 1);

  const std::string other = "<q/>";
  TReadOnlyMemoryStream view(other.data(), static_cast<int64_t>(other.size()));
  doc.LoadFromStream(view);
  EXPECT_EQ(doc.Root->Name, "q");

  TMemoryStream out("head");
  out.Seek(0, TSeekOrigin::soEnd);
  doc.WriteDeclaration = false;
  doc.SaveToStream(out);
  EXPECT_EQ(out.Bytes(), "head<q/>\r\n");
  EXPECT_EQ(out.GetPosition(), static_cast<int64_t>(out.Bytes().size()));
}

}  // namespace
