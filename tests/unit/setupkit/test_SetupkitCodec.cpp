#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "Commands.h"
#include "MySetupUtils.h"
#include "QvClasses.h"
#include "QvExceptions.h"

namespace fs = std::filesystem;

namespace {

class SetupkitCodec : public ::testing::Test {
protected:
  void SetUp() override {
    std::random_device rd;
    FDir = fs::temp_directory_path() / ("setupkit-codec-" + std::to_string(rd()));
    fs::create_directories(FDir);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(FDir, ec);
  }

  // Commands take UTF-8 paths.
  std::string Path(const std::string& utf8Name) const { return FDir.u8string() + "/" + utf8Name; }
  fs::path FsPath(const std::string& utf8Name) const { return fs::u8path(Path(utf8Name)); }

  void Write(const std::string& name, const std::string& bytes) const {
    std::ofstream(FsPath(name), std::ios::binary) << bytes;
  }
  std::string Read(const std::string& name) const {
    std::ifstream in(FsPath(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  size_t FileCount() const { return static_cast<size_t>(std::distance(fs::directory_iterator(FDir), {})); }

  fs::path FDir;
};

TEST_F(SetupkitCodec, EncodeThenDecodeRestoresTheFile) {
  std::string content(100000, '\0');
  std::mt19937 rng(5);
  for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i % 7 == 0 ? rng() : 'a' + i % 3);
  const std::string name = "\xE4\xB8\xAD\xE6\x96\x87 \xC3\xBC";  // "中文 ü"
  Write(name + ".bin", content);

  ASSERT_EQ(CmdEncode({Path(name + ".bin"), Path("stored.bin")}), 0);
  TMemoryStream expected(content);
  TSetupfn::EncodeStream(expected);
  EXPECT_TRUE(Read("stored.bin") == expected.Bytes());

  // The output may already exist; it is replaced.
  Write("out.bin", "old");
  ASSERT_EQ(CmdDecode({Path("stored.bin"), Path("out.bin")}), 0);
  EXPECT_TRUE(Read("out.bin") == content);
  EXPECT_EQ(FileCount(), 3u);  // no temporary left behind

  // Empty stays empty, and is still written.
  Write("empty", "");
  ASSERT_EQ(CmdEncode({Path("empty"), Path("empty.enc")}), 0);
  ASSERT_EQ(CmdDecode({Path("empty.enc"), Path("empty.dec")}), 0);
  EXPECT_TRUE(fs::exists(FsPath("empty.dec")));
  EXPECT_EQ(Read("empty.enc") + Read("empty.dec"), "");
}

TEST_F(SetupkitCodec, FailureLeavesNoOutput) {
  Write("plain.txt", "this is not an encoded stream");
  try {
    CmdDecode({Path("plain.txt"), Path("out.bin")});
    FAIL();
  } catch (const EZDecompressionError& e) {
    EXPECT_NE(e.Message().find(u"plain.txt\" cannot be decoded: Error"), WideString::npos) << e.what();
  }
  EXPECT_THROW(CmdEncode({Path("missing.bin"), Path("out.bin")}), EFOpenError);
  // An output folder that does not exist: the temporary cannot be made.
  EXPECT_THROW(CmdEncode({Path("plain.txt"), Path("no-such-dir/out.bin")}), EFCreateError);
  EXPECT_EQ(FileCount(), 1u);
}

TEST_F(SetupkitCodec, WrongArgumentsAreUsageErrors) {
  EXPECT_EQ(CmdEncode({}), 2);
  EXPECT_EQ(CmdEncode({Path("a")}), 2);
  EXPECT_EQ(CmdDecode({Path("a"), Path("b"), Path("c")}), 2);
  EXPECT_EQ(CmdDecode({"--help"}), 0);
  EXPECT_EQ(FileCount(), 0u);
}

}  // namespace
