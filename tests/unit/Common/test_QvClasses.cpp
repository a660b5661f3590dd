#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "TestSupport.h"
#include "QvClasses.h"
#include "QvSysUtils.h"

namespace {

std::string ReadAll(TStream& s) {
  s.SetPosition(0);
  std::string r(static_cast<size_t>(s.GetSize()), '\0');
  s.ReadBuffer(&r[0], static_cast<int64_t>(r.size()));
  return r;
}


}  // namespace

// ---- memory streams --------------------------------------------------------

TEST(QvClassesMemory, ReadWriteAndPositions) {
  TMemoryStream m;
  m.WriteString("hello");
  EXPECT_EQ(m.GetPosition(), 5);
  EXPECT_EQ(m.Seek(-2, TSeekOrigin::soEnd), 3);
  m.WriteString("p!");
  EXPECT_EQ(m.Bytes(), "help!");
  m.SetPosition(1);
  char buf[8] = {};
  EXPECT_EQ(m.Read(buf, 8), 4);
  EXPECT_EQ(std::string(buf, 4), "elp!");
  EXPECT_EQ(m.Read(buf, 8), 0);
  EXPECT_EQ(m.Read(buf, -1), 0);
  EXPECT_EQ(m.Write(buf, 0), 0);
}

TEST(QvClassesMemory, SeekBeyondEndThenWriteFillsWithZeros) {
  TMemoryStream m(std::string("ab"));
  EXPECT_EQ(m.Seek(5, TSeekOrigin::soBeginning), 5);
  EXPECT_EQ(m.GetSize(), 2);  // seeking alone does not grow
  char c;
  EXPECT_EQ(m.Read(&c, 1), 0);
  m.WriteString("z");
  EXPECT_EQ(m.Bytes(), std::string("ab\0\0\0z", 6));
}

TEST(QvClassesMemory, NegativePositionRaises) {
  TMemoryStream m(std::string("abc"));
  m.SetPosition(1);
  EXPECT_THROW(m.Seek(-2, TSeekOrigin::soCurrent), EStreamError);
  EXPECT_THROW(m.Seek(-4, TSeekOrigin::soEnd), EStreamError);
  EXPECT_THROW(m.SetPosition(-1), EStreamError);
  EXPECT_EQ(m.GetPosition(), 1);  // a refused seek leaves the position
  EXPECT_THROW(m.SetSize(-1), EStreamError);
}

TEST(QvClassesMemory, SetSizeKeepsPositionInside) {
  TMemoryStream m(std::string("abcdef"));
  m.SetPosition(5);
  m.SetSize(3);
  EXPECT_EQ(m.GetPosition(), 3);
  EXPECT_EQ(m.Bytes(), "abc");
  m.SetSize(5);
  EXPECT_EQ(m.Bytes(), std::string("abc\0\0", 5));
  EXPECT_EQ(m.GetPosition(), 3);
}

TEST(QvClassesMemory, ExactReadsAndWrites) {
  TMemoryStream m(std::string("abc"));
  char buf[4];
  EXPECT_EQ(MessageOf<EReadError>([&] { m.ReadBuffer(buf, 4); }), u"Stream read error");
  m.SetPosition(0);
  EXPECT_NO_THROW(m.ReadBuffer(buf, 3));
  EXPECT_NO_THROW(m.ReadBuffer(buf, 0));
  EXPECT_THROW(m.ReadBuffer(buf, -1), EReadError);

  const char data[] = "xyz";
  TReadOnlyMemoryStream ro(data, 3);
  EXPECT_EQ(ro.Write("q", 1), 0);
  EXPECT_EQ(MessageOf<EWriteError>([&] { ro.WriteBuffer("q", 1); }), u"Stream write error");
  EXPECT_THROW(ro.SetSize(1), EStreamError);
  EXPECT_EQ(ReadAll(ro), "xyz");
  ro.Seek(10, TSeekOrigin::soBeginning);
  EXPECT_EQ(ro.Read(buf, 1), 0);
  EXPECT_THROW(ro.Seek(-11, TSeekOrigin::soCurrent), EStreamError);
}

TEST(QvClassesMemory, CopyFromAndLoadFromStream) {
  std::string big(200000, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
  TMemoryStream src(big);
  src.SetPosition(123);
  TMemoryStream dst;
  // Count 0 copies all of source, whatever its position.
  EXPECT_EQ(dst.CopyFrom(src, 0), static_cast<int64_t>(big.size()));
  EXPECT_EQ(dst.Bytes(), big);
  src.SetPosition(10);
  TMemoryStream part;
  EXPECT_EQ(part.CopyFrom(src, 100), 100);
  EXPECT_EQ(part.Bytes(), big.substr(10, 100));
  src.SetPosition(big.size() - 5);
  EXPECT_THROW(part.CopyFrom(src, 10), EReadError);

  TReadOnlyMemoryStream ro(big.data() + 1, 1000);
  ro.SetPosition(500);
  TMemoryStream loaded(std::string("old"));
  loaded.LoadFromStream(ro);
  EXPECT_EQ(loaded.Bytes(), big.substr(1, 1000));
  EXPECT_EQ(loaded.GetPosition(), 0);
  TMemoryStream saved;
  loaded.SaveToStream(saved);
  EXPECT_EQ(saved.Bytes(), loaded.Bytes());
}

// ---- file streams ----------------------------------------------------------

namespace {

class QvClassesFile : public TempFolderTest {
protected:
  QvClassesFile() : TempFolderTest("qvclasses_") {}
};

}  // namespace

TEST_F(QvClassesFile, CreateWriteReadBack) {
  const WideString name = Path(u"data \u4E2D.bin");
  {
    TFileStream f(name, fmCreate);
    f.WriteString("0123456789");
    EXPECT_EQ(f.GetSize(), 10);
    // Reading straight after writing, and writing after reading, on one FILE.
    f.SetPosition(2);
    char buf[3];
    f.ReadBuffer(buf, 3);
    EXPECT_EQ(std::string(buf, 3), "234");
    f.WriteString("ab");
    char c;
    f.ReadBuffer(&c, 1);
    EXPECT_EQ(c, '7');
    EXPECT_THROW(f.ReadBuffer(buf, 3), EReadError);
    f.Close();
    f.Close();  // a second close does nothing
    EXPECT_EQ(f.Read(buf, 1), 0);
  }
  TMemoryStream m;
  m.LoadFromFile(name);
  EXPECT_EQ(m.Bytes(), "01234ab789");
  // fmCreate truncates an existing file.
  { TFileStream f(name, fmCreate); }
  TFileStream r(name, fmOpenRead);
  EXPECT_EQ(r.GetSize(), 0);
}

TEST_F(QvClassesFile, SeekBeyondEndAndSetSize) {
  const WideString name = Path(u"sparse.bin");
  TFileStream f(name, fmCreate);
  f.WriteString("ab");
  EXPECT_EQ(f.Seek(4, TSeekOrigin::soCurrent), 6);
  f.WriteString("z");
  EXPECT_EQ(ReadAll(f), std::string("ab\0\0\0\0z", 7));
  f.SetPosition(6);
  f.SetSize(3);
  EXPECT_EQ(f.GetSize(), 3);
  EXPECT_EQ(f.GetPosition(), 3);
  EXPECT_THROW(f.Seek(-1, TSeekOrigin::soBeginning), EStreamError);
  EXPECT_THROW(f.Seek(-10, TSeekOrigin::soEnd), EStreamError);
  EXPECT_THROW(f.SetSize(-1), EStreamError);
}

TEST_F(QvClassesFile, ReadOnlyAccessRefusesWrites) {
  const WideString name = Path(u"ro.bin");
  TMemoryStream(std::string("abc")).SaveToFile(name);
  {
    TFileStream f(name, fmOpenRead | fmShareDenyNone);
    EXPECT_EQ(f.Write("x", 1), 0);
    EXPECT_EQ(MessageOf<EWriteError>([&] { f.WriteBuffer("x", 1); }), u"Stream write error");
    EXPECT_EQ(ReadAll(f), "abc");
    TFileStream shared(name, fmOpenReadWrite | fmShareDenyNone);
#ifdef _WIN32
    // Without a share mode the open is exclusive, and the file is in use.
    EXPECT_THROW(TFileStream(name, fmOpenWrite), EFOpenError);
#endif
  }
  // Write access opens without truncating.
  TFileStream w(name, fmOpenWrite);
  w.SetPosition(1);
  w.WriteString("B");
  w.Close();
  TMemoryStream m;
  m.LoadFromFile(name);
  EXPECT_EQ(m.Bytes(), "aBc");
}

TEST_F(QvClassesFile, OpenAndCreateErrorsNameTheFullPath) {
  const WideString missing = Path(u"missing.bin");
  const WideString open = MessageOf<EFOpenError>([&] { TFileStream f(missing, fmOpenRead); });
  const WideString openPrefix = u"Cannot open file \"" + ExpandFileName(missing) + u"\". ";
  ASSERT_GT(open.size(), openPrefix.size()) << WideToUtf8(open);  // the system's reason follows
  EXPECT_EQ(open.substr(0, openPrefix.size()), openPrefix);

  const WideString inMissingDir = Path(u"nodir") + PathDelim() + u"x.bin";
  const WideString create = MessageOf<EFCreateError>([&] { TFileStream f(inMissingDir, fmCreate); });
  const WideString createPrefix = u"Cannot create file \"" + ExpandFileName(inMissingDir) + u"\". ";
  ASSERT_GT(create.size(), createPrefix.size()) << WideToUtf8(create);
  EXPECT_EQ(create.substr(0, createPrefix.size()), createPrefix);

  EXPECT_THROW(TFileStream(Utf8ToWide(FRoot.u8string()), fmOpenRead), EFOpenError);  // a folder
  TMemoryStream m;
  EXPECT_THROW(m.LoadFromFile(missing), EFOpenError);
  EXPECT_THROW(m.SaveToFile(inMissingDir), EFCreateError);
}

TEST(QvClassesFileName, RelativeNamesAreExpandedInMessages) {
  const WideString rel = u"qvclasses-no-such-file.bin";
  const WideString msg = MessageOf<EFOpenError>([&] { TFileStream f(rel, fmOpenRead); });
  const WideString full = ExpandFileName(rel);
  EXPECT_NE(full, rel);
  EXPECT_NE(msg.find(u"\"" + full + u"\""), WideString::npos) << WideToUtf8(msg);
}
