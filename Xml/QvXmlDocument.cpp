// The XML reader and writer. Names and values stay in their escaped UTF-8
// form as they stand in the document; they are unescaped only when a caller
// asks for them as wide strings.

#include <cstring>
#include <utility>

#include "QvXmlUtils.h"

namespace {

[[noreturn]] void ThrowTagMismatch() { throw EXmlException(u"XML 标签不匹配"); }

// " (line L, column C)" of at in the document: both from 1, the column in
// characters (UTF-8 continuation bytes do not count).
WideString PlaceText(const char* begin, const char* at) {
  int line = 1, column = 1;
  for (const char* q = begin; q < at; ++q) {
    if (*q == '\n') {
      ++line;
      column = 1;
    } else if ((static_cast<unsigned char>(*q) & 0xC0) != 0x80) {
      ++column;
    }
  }
  return u" (line " + IntToStr(line) + u", column " + IntToStr(column) + u")";
}

const char* FindByte(const char* p, const char* end, char c) {
  if (p >= end) return nullptr;
  return static_cast<const char*>(std::memchr(p, c, static_cast<size_t>(end - p)));
}

// First occurrence of the literal needle in [p, end), or none.
const char* FindText(const char* p, const char* end, const char* needle, size_t needleLen) {
  while (p && static_cast<size_t>(end - p) >= needleLen) {
    p = FindByte(p, end, needle[0]);
    if (!p || static_cast<size_t>(end - p) < needleLen) return nullptr;
    if (std::memcmp(p, needle, needleLen) == 0) return p;
    ++p;
  }
  return nullptr;
}

bool StartsWith(const char* p, const char* end, const char* prefix, size_t len) {
  return static_cast<size_t>(end - p) >= len && std::memcmp(p, prefix, len) == 0;
}

bool IsBlank(const char* b, const char* e) {
  while (b < e && static_cast<unsigned char>(*b) <= 32) ++b;
  return b == e;
}

RawByteString Trimmed(const char* b, const char* e) {
  while (b < e && static_cast<unsigned char>(*b) <= 32) ++b;
  while (e > b && static_cast<unsigned char>(e[-1]) <= 32) --e;
  return RawByteString(b, e);
}

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c; }

bool SameAsciiText(const char* a, size_t aLen, const char* b, size_t bLen) {
  if (aLen != bLen) return false;
  for (size_t i = 0; i < aLen; ++i)
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  return true;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void AppendCodePoint(WideString& out, uint32_t cp) {
  if (cp <= 0xFFFF) {
    out.push_back(static_cast<WideChar>(cp));
  } else if (cp <= 0x10FFFF) {
    cp -= 0x10000;
    out.push_back(static_cast<WideChar>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<WideChar>(0xDC00 + (cp & 0x3FF)));
  } else {
    out.push_back(static_cast<WideChar>(0xFFFD));
  }
}

// A numeric reference: the text after "#", either decimal digits or "x"/"X"
// and hexadecimal digits. Anything else is reported with the text as it
// stands in the document, so the user can find it.
void AppendNumericReference(WideString& out, const char* b, const char* e) {
  const char* digits = b;
  int base = 10;
  if (digits < e && (*digits == 'x' || *digits == 'X')) {
    base = 16;
    ++digits;
  }
  // Saturates just above the largest code point: a longer number is no
  // character at all and must not overflow on the way.
  const uint32_t kBeyond = 0x110000;
  uint32_t value = 0;
  bool ok = digits < e;
  for (const char* p = digits; ok && p < e; ++p) {
    int d = base == 16 ? HexDigit(*p) : ((*p >= '0' && *p <= '9') ? *p - '0' : -1);
    if (d < 0) {
      ok = false;
    } else if (value < kBeyond) {
      value = value * static_cast<uint32_t>(base) + static_cast<uint32_t>(d);
      if (value > kBeyond) value = kBeyond;
    }
  }
  if (!ok) throw EConvertError(u"'" + Utf8ToWide(b, static_cast<size_t>(e - b)) + u"' is not a valid integer value");
  AppendCodePoint(out, value);
}

void AppendNamedEntity(WideString& out, const char* b, const char* e) {
  static const struct { const char* name; size_t len; WideChar ch; } kEntities[] = {
      {"lt", 2, u'<'}, {"gt", 2, u'>'}, {"amp", 3, u'&'}, {"quot", 4, u'"'}, {"apos", 4, u'\''}};
  for (const auto& entity : kEntities) {
    if (SameAsciiText(b, static_cast<size_t>(e - b), entity.name, entity.len)) {
      out.push_back(entity.ch);
      return;
    }
  }
  QV_ASSERT(false, QV_XMLUTILS_UNIT);
}

void AppendAttributes(RawByteString& out, const TXmlNode& node) {
  for (int i = 0; i < node.Attributes.Count(); ++i) {
    const TXmlAttribute* a = node.Attributes[i];
    out += ' ';
    out += a->Name;
    out += "=\"";
    out += a->Text;
    out += '"';
  }
}

}  // namespace

// ---- text ------------------------------------------------------------------

RawByteString XmlEscape(const WideString& s) {
  const RawByteString utf8 = WideToUtf8(s);
  size_t length = utf8.size();
  for (char c : utf8) {
    switch (c) {
      case '\t': case '\n': case '\r': case '"': case '\'': length += 5; break;
      case '&': length += 4; break;
      case '<': case '>': length += 3; break;
      default: break;
    }
  }
  if (length == utf8.size()) return utf8;

  RawByteString out(length, '\0');
  char* w = &out[0];
  auto put = [&w](const char* text, size_t n) {
    std::memcpy(w, text, n);
    w += n;
  };
  for (char c : utf8) {
    switch (c) {
      case '\t': put("&#x09;", 6); break;
      case '\n': put("&#x0A;", 6); break;
      case '\r': put("&#x0D;", 6); break;
      case '"': put("&quot;", 6); break;
      case '\'': put("&apos;", 6); break;
      case '&': put("&amp;", 5); break;
      case '<': put("&lt;", 4); break;
      case '>': put("&gt;", 4); break;
      default: *w++ = c; break;
    }
  }
  QV_ASSERT(w == out.data() + out.size(), QV_XMLUTILS_UNIT);
  return out;
}

WideString XmlUnescape(const RawByteString& s) { return XmlUnescape(s.data(), s.size()); }

WideString XmlUnescape(const char* data, size_t length) {
  const char* p = data;
  const char* end = data + length;
  const char* amp = FindByte(p, end, '&');
  if (!amp) return Utf8ToWide(data, length);

  WideString out;
  out.reserve(length);
  while (amp) {
    if (amp > p) out += Utf8ToWide(p, static_cast<size_t>(amp - p));
    const char* semi = FindByte(amp + 1, end, ';');
    if (!semi) ThrowTagMismatch();
    const char* b = amp + 1;
    QV_ASSERT(semi > b, QV_XMLUTILS_UNIT);
    if (*b == '#')
      AppendNumericReference(out, b + 1, semi);
    else
      AppendNamedEntity(out, b, semi);
    p = semi + 1;
    amp = FindByte(p, end, '&');
  }
  if (p < end) out += Utf8ToWide(p, static_cast<size_t>(end - p));
  return out;
}

bool XmlNameMatches(const RawByteString& storedName, const RawByteString& escapedName) {
  return SameAsciiText(storedName.data(), storedName.size(), escapedName.data(), escapedName.size());
}

// ---- attributes ------------------------------------------------------------

WideString TXmlAttribute::GetValue() const { return CData ? Utf8ToWide(Text) : XmlUnescape(Text); }

void TXmlAttribute::SetValue(const WideString& value) { Text = CData ? WideToUtf8(value) : XmlEscape(value); }

void TXmlAttribute::SetInteger(int64_t value) {
  // Digits of the magnitude, computed unsigned so that INT64_MIN has one.
  uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  char buffer[24];
  char* w = buffer + sizeof buffer;
  do {
    *--w = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) *--w = '-';
  Text.assign(w, buffer + sizeof buffer);
  CData = false;
}

void TXmlAttribute::SetFloat(double value) {
  // The digits and the locale's separator need no escaping.
  Text = WideToUtf8(FloatToStr(value));
  CData = false;
}

// ---- nodes -----------------------------------------------------------------

TXmlNode* TXmlNode::AddChild(const WideString& name) {
  ExpandContent();
  auto child = std::make_unique<TXmlNode>(this);
  child->Name = XmlEscape(name);
  return Children.Add(std::move(child));
}

TXmlNode* TXmlNode::FindChild(const WideString& name) const {
  // Nodes are made non-const; reading a deferred content is their lazy
  // completion, not a change.
  const_cast<TXmlNode*>(this)->ExpandContent();
  return Children.FindByName(name);
}

TXmlNode* TXmlNode::ChildByName(const WideString& name) {
  TXmlNode* child = FindChild(name);
  return child ? child : AddChild(name);
}

TXmlAttribute* TXmlNode::FindAttribute(const WideString& name) const { return Attributes.FindByName(name); }

TXmlAttribute* TXmlNode::AttributeByName(const WideString& name) {
  TXmlAttribute* attribute = FindAttribute(name);
  if (attribute) return attribute;
  auto created = std::make_unique<TXmlAttribute>();
  created->Name = XmlEscape(name);
  return Attributes.Add(std::move(created));
}

WideString TXmlNode::GetName() const { return XmlUnescape(Name); }

namespace {

// Reads a start tag, from "<" to ">" inclusive, into node; without a node it
// only checks the tag as reading it would.
void ScanTag(const char* start, const char* end, TXmlNode* node) {
  const char* b = start;
  const char* e = end;
  if (b < e && *b == '<') ++b;
  if (e > b && e[-1] == '>') --e;
  if (e > b && e[-1] == '/') --e;

  if (node) node->Attributes.Clear();
  const char* space = FindByte(b, e, ' ');
  const char* nameEnd = space ? space : e;
  QV_ASSERT(!IsBlank(b, nameEnd), QV_XMLUTILS_UNIT);
  if (node) node->Name = Trimmed(b, nameEnd);
  if (!space) return;

  const char* p = space;
  while (p < e) {
    const char* eq = FindByte(p, e, '=');
    if (!eq) break;
    QV_ASSERT(!IsBlank(p, eq), QV_XMLUTILS_UNIT);
    // A double quote anywhere in the rest of the tag decides the delimiter,
    // even when a single-quoted value comes first.
    char quote = '"';
    const char* open = FindByte(eq + 1, e, '"');
    if (!open) {
      quote = '\'';
      open = FindByte(eq + 1, e, '\'');
    }
    QV_ASSERT(open != nullptr, QV_XMLUTILS_UNIT);
    const char* close = FindByte(open + 1, e, quote);
    QV_ASSERT(close != nullptr, QV_XMLUTILS_UNIT);

    if (node) {
      auto attribute = std::make_unique<TXmlAttribute>();
      attribute->Name = Trimmed(p, eq);
      attribute->Text.assign(open + 1, close);
      node->Attributes.Add(std::move(attribute));
    }
    p = close + 1;
  }
}

}  // namespace

void TXmlNode::ParseTag(const char* start, const char* end) { ScanTag(start, end, this); }

RawByteString TXmlNode::TagText() const {
  RawByteString text = Name;
  AppendAttributes(text, *this);
  return text;
}

void TXmlNode::WriteTo(std::vector<RawByteString>& lines, bool formatted, const RawByteString& indent) const {
  // Walks the tree with an explicit stack: a deeply nested document must not
  // exhaust the call stack.
  struct Frame {
    const TXmlNode* node;
    RawByteString indent;
    int next;  // the next child to write
  };
  auto openLines = [&lines](const TXmlNode& n, const RawByteString& ind) -> bool {
    // A content left for later is read before it is written.
    const_cast<TXmlNode&>(n).ExpandContent();
    RawByteString line = ind;
    line += '<';
    line += n.Name;
    AppendAttributes(line, n);
    RawByteString t;
    if (n.CData) {
      t = "<![CDATA[";
      t += n.Text;
      t += "]]>";
    } else {
      t = n.Text;
    }
    if (n.Children.Count() == 0) {
      if (t.empty()) {
        line += "/>";
      } else {
        line += '>';
        line += t;
        line += "</";
        line += n.Name;
        line += '>';
      }
      lines.push_back(std::move(line));
      return false;
    }
    line += '>';
    line += t;
    lines.push_back(std::move(line));
    return true;
  };

  const RawByteString rootIndent = formatted ? indent : RawByteString();
  if (!openLines(*this, rootIndent)) return;
  std::vector<Frame> stack;
  stack.push_back({this, rootIndent, 0});
  while (!stack.empty()) {
    Frame& top = stack.back();
    if (top.next < top.node->Children.Count()) {
      const TXmlNode* child = top.node->Children[top.next++];
      RawByteString childIndent = formatted ? top.indent + "    " : RawByteString();
      if (openLines(*child, childIndent)) stack.push_back({child, std::move(childIndent), 0});
    } else {
      lines.push_back(top.indent + "</" + top.node->Name + ">");
      stack.pop_back();
    }
  }
}

// ---- document --------------------------------------------------------------

TXmlNode::~TXmlNode() {
  if (Children.Count() == 0) return;
  std::vector<TXmlNodeList> pending;
  pending.push_back(std::move(Children));
  while (!pending.empty()) {
    TXmlNodeList list = std::move(pending.back());
    pending.pop_back();
    // Take the grandchildren away first: then each child dies childless.
    for (int i = 0; i < list.Count(); ++i)
      if (list[i]->Children.Count() != 0) pending.push_back(std::move(list[i]->Children));
  }
}

TXmlDocument::TXmlDocument() : Root(std::make_unique<TXmlNode>()) {}

TXmlDocument::TXmlDocument(const WideString& rootName) : TXmlDocument() { Root->Name = XmlEscape(rootName); }

namespace {

// An error whose message names its place already: a walk nested in another
// (the check of a deferred element's content) must not add a second one.
class EXmlPlaced : public EXmlException {
public:
  using EXmlException::EXmlException;
};

const char kItemsName[] = "Items";

// Walks the markup of [p, end) in a document that starts at begin: text
// runs, CDATA sections, comments and declarations, start and end tags, and
// tells the sink of each. An end tag written "</x/>" closes twice, and a
// start tag "<x/>" opens and closes, as they always have. The sink's Close
// may stop the walk by returning where it stopped; its Open returns where
// the walk goes on. Returns end, or where the sink stopped it.
template <class TSink>
const char* WalkMarkup(const char* begin, const char* p, const char* end, TSink& sink) {
  try {
    while (p < end) {
      if (*p != '<') {
        const char* lt = FindByte(p, end, '<');
        if (!lt) lt = end;
        sink.Text(p, lt, false);
        p = lt;
        continue;
      }

      static const char kCDataOpen[] = "<![CDATA[";
      if (StartsWith(p, end, kCDataOpen, sizeof kCDataOpen - 1)) {
        const char* content = p + (sizeof kCDataOpen - 1);
        const char* close = FindText(content, end, "]]>", 3);
        if (!close) ThrowTagMismatch();
        if (close > content) sink.Text(content, close, true);
        p = close + 3;
        continue;
      }

      const char* gt = FindByte(p + 1, end, '>');
      if (!gt) ThrowTagMismatch();
      const char kind = p[1];  // exists: at worst it is the ">" itself

      if (kind == '!') {
        const char* close = FindText(p + 2, end, "-->", 3);
        if (!close) ThrowTagMismatch();
        p = close + 3;
        continue;
      }

      // "/>" ends an empty element; the slash of "</>" is the end tag's own.
      const bool slashEnd = gt - 1 > p + 1 && gt[-1] == '/';
      const char* next = gt + 1;
      if (kind == '/') {
        if (const char* stop = sink.Close(p, slashEnd)) return stop;
      } else if (kind != '?') {
        next = sink.Open(p, gt + 1, slashEnd);
      }
      if (slashEnd) {
        if (const char* stop = sink.Close(p, false)) return stop;
      }
      p = next;
    }
  } catch (const EXmlPlaced&) {
    throw;
  } catch (const EXmlException& e) {
    // Whoever fixes the file needs the place as well as the reason.
    throw EXmlPlaced(e.Message() + PlaceText(begin, p));
  }
  return end;
}

// Checks an element's content as reading it would, keeping nothing, and
// finds the end tag that closes the element. Returns its "<", or none when
// the content cannot be left for later: it ends in an end tag written
// "</x/>", whose second close would land outside the element.
class TContentCheck {
public:
  void Text(const char*, const char*, bool) {}
  const char* Open(const char* tag, const char* after, bool) {
    ScanTag(tag, after, nullptr);
    ++FDepth;
    return after;
  }
  const char* Close(const char* tag, bool slashEnd) {
    if (FDepth == 0) {
      FEnd = tag;
      return tag;
    }
    // Its second close would end the element in the middle of this tag.
    if (--FDepth == 0 && slashEnd) return tag;
    return nullptr;
  }
  const char* End() const { return FEnd; }

private:
  int FDepth = 0;
  const char* FEnd = nullptr;
};

// Builds the tree. A document read for objects leaves the content of each
// "Items" element (the items of a list) in the buffer, checked, for the
// list to read one item at a time.
class TTreeBuilder {
public:
  TTreeBuilder(const char* begin, const char* end, TXmlNode* cur, std::unique_ptr<TXmlNode>* root,
               bool deferItems, const TXmlNode* stopAt)
      : FBegin(begin), FEnd(end), FCur(cur), FRoot(root), FDeferItems(deferItems), FStopAt(stopAt) {}

  void Text(const char* b, const char* e, bool cdata) {
    if (!FCur) return;
    // Text runs are never joined: the last one before the end tag wins.
    FCur->Text.assign(b, e);
    FCur->CData = cdata;
  }

  const char* Open(const char* tag, const char* after, bool slashEnd) {
    auto node = std::make_unique<TXmlNode>(FCur);
    node->ParseTag(tag, after);
    TXmlNode* created = node.get();
    if (FCur) {
      FCur->Children.Add(std::move(node));
    } else {
      // A later top-level element takes over as the document element.
      FRoot->reset();
      *FRoot = std::move(node);
    }
    FCur = created;
    if (FDeferItems && !slashEnd && SameAsciiText(created->Name.data(), created->Name.size(), kItemsName,
                                                  sizeof kItemsName - 1)) {
      TContentCheck check;
      WalkMarkup(FBegin, after, FEnd, check);
      if (const char* close = check.End()) {
        created->DeferContent(FBegin, after, close);
        return close;
      }
    }
    return after;
  }

  const char* Close(const char* tag, bool) {
    if (!FCur) ThrowTagMismatch();
    FCur = FCur->Parent;
    // A single element read from a deferred content ends when it closes.
    // (An end tag "</x/>" whose first close ends it is never deferred.)
    if (FStopAt && FCur == FStopAt) return FindByte(tag, FEnd, '>') + 1;
    return nullptr;
  }

private:
  const char* FBegin;
  const char* FEnd;
  TXmlNode* FCur;
  std::unique_ptr<TXmlNode>* FRoot;
  bool FDeferItems;
  const TXmlNode* FStopAt;
};

}  // namespace

void TXmlDocument::LoadFromBuffer(const char* buffer, size_t length) {
  Root.reset();  // Root is none from here on
  if (!buffer || length == 0) return;
  TTreeBuilder builder(buffer, buffer + length, nullptr, &Root, DeferItems, nullptr);
  WalkMarkup(buffer, buffer, buffer + length, builder);
}

void TXmlNode::DeferContent(const char* document, const char* begin, const char* end) {
  FDocument = document;
  FDeferredBegin = begin;
  FDeferredEnd = end;
}

void TXmlNode::ExpandContent() {
  if (!FDeferredBegin) return;
  const char* begin = FDeferredBegin;
  FDeferredBegin = nullptr;
  TTreeBuilder builder(FDocument, FDeferredEnd, this, nullptr, false, nullptr);
  WalkMarkup(FDocument, begin, FDeferredEnd, builder);
}

void TXmlNode::ForEachChild(const std::function<void(TXmlNode*)>& visit) {
  if (!FDeferredBegin) {
    for (int i = 0; i < Children.Count(); ++i) visit(Children[i]);
    return;
  }
  // One child at a time, read into a holder and freed after its visit: the
  // items of a large list never stand in memory all at once.
  TXmlNode holder;
  const char* p = FDeferredBegin;
  while (p < FDeferredEnd) {
    TTreeBuilder builder(FDocument, FDeferredEnd, &holder, nullptr, false, &holder);
    p = WalkMarkup(FDocument, p, FDeferredEnd, builder);
    for (int i = 0; i < holder.Children.Count(); ++i) {
      holder.Children[i]->Parent = this;
      visit(holder.Children[i]);
    }
    holder.Children.Clear();
  }
}

void TXmlDocument::LoadFromStream(TStream& stream) {
  if (auto* memory = dynamic_cast<TMemoryStream*>(&stream)) {
    if (memory->GetPosition() == 0) {
      const int64_t size = memory->GetSize();
      memory->Seek(0, TSeekOrigin::soEnd);
      LoadFromBuffer(memory->Memory(), static_cast<size_t>(size));
      return;
    }
  }
  RawByteString bytes;
  const int64_t remaining = stream.GetSize() - stream.GetPosition();
  if (remaining > 0) bytes.reserve(static_cast<size_t>(remaining));
  char chunk[65536];
  for (;;) {
    const int64_t n = stream.Read(chunk, sizeof chunk);
    if (n <= 0) break;
    bytes.append(chunk, static_cast<size_t>(n));
  }
  LoadFromBuffer(bytes.data(), bytes.size());
  // Deferred contents point into the bytes read.
  if (DeferItems) FKept = std::move(bytes);
}

RawByteString TXmlDocument::SaveToString() const {
  std::vector<RawByteString> lines;
  if (WriteDeclaration) lines.emplace_back("<?xml version=\"1.0\" encoding=\"utf-8\"?>");
  if (Root) Root->WriteTo(lines, Formatted, RawByteString());

  size_t total = 0;
  for (const RawByteString& line : lines) total += line.size() + (Formatted ? 2 : 0);
  RawByteString text;
  text.reserve(total);
  for (const RawByteString& line : lines) {
    text += line;
    if (Formatted) text += "\r\n";
  }
  return text;
}

void TXmlDocument::SaveToStream(TStream& stream) const { stream.WriteString(SaveToString()); }
