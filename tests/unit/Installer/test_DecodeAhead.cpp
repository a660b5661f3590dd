// The second thread hands over every file's bytes in the script's order,
// runs no further ahead than its window, and each file's damage stays its
// own.
#ifdef _WIN32

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "DecodeAhead.h"
#include "FileDataClasses.h"
#include "PackageResources.h"
#include "QvClasses.h"
#include "TestSupport.h"

namespace {

TEST(DecodeAhead, HandsOverEveryFileInOrderAndKeepsDamageToItsFile) {
  // Large files among small ones, more bytes than the window holds: the
  // thread has to wait for the writing and be woken again.
  std::vector<std::string> contents;
  for (int i = 0; i < 120; ++i) {
    const size_t size = i % 7 == 0 ? (3u << 20) + static_cast<size_t>(i) : 100u + static_cast<size_t>(i) * 37;
    std::string text(size, '\0');
    for (size_t j = 0; j < size; ++j) text[j] = static_cast<char>('a' + (j * 31 + static_cast<size_t>(i)) % 26);
    contents.push_back(text);
  }
  TMemoryStream out;
  TFileDataBlobWriter writer(out);
  for (size_t i = 0; i < contents.size(); ++i) {
    std::string image = Encoded(contents[i]);
    if (i == 50) image[image.size() / 2] ^= 0x55;  // damaged inside the stream
    writer.AddImage(u"{" + IntToStr(static_cast<int64_t>(i)) + u"}", image.data(), static_cast<int64_t>(image.size()));
  }
  writer.Finish();
  TMemoryResourceReader package;
  package.Add(FileDataResID, out.Bytes());
  TFileDataList data;
  ASSERT_TRUE(data.LoadIndexFromResource(package));
  ASSERT_EQ(data.Count(), static_cast<int>(contents.size()));

  std::vector<TDecodeJob> jobs;
  for (int i = 0; i < data.Count(); ++i)
    jobs.push_back({data.Items(i), static_cast<int64_t>(contents[static_cast<size_t>(i)].size())});
  // The last job claims one byte more than its data holds: damage too.
  jobs.back().PlainSize += 1;

  auto ahead = std::make_unique<TDecodeAhead>(data, jobs);
  std::string bytes;
  for (size_t i = 0; i < contents.size(); ++i) {
    const bool whole = ahead->Take(bytes);
    if (i == 50 || i + 1 == contents.size()) {
      EXPECT_FALSE(whole) << i;
      continue;
    }
    ASSERT_TRUE(whole) << i;
    ASSERT_EQ(bytes.size(), contents[i].size()) << i;
    EXPECT_TRUE(bytes == contents[i]) << i;
  }
  ahead.reset();
}

TEST(DecodeAhead, StopsWithFilesLeftAndWithNone) {
  TMemoryStream out;
  TFileDataBlobWriter writer(out);
  const std::string image = Encoded(std::string(1 << 20, 'x'));
  for (int i = 0; i < 40; ++i) writer.AddImage(u"{" + IntToStr(i) + u"}", image.data(), static_cast<int64_t>(image.size()));
  writer.Finish();
  TMemoryResourceReader package;
  package.Add(FileDataResID, out.Bytes());
  TFileDataList data;
  ASSERT_TRUE(data.LoadIndexFromResource(package));
  std::vector<TDecodeJob> jobs;
  for (int i = 0; i < data.Count(); ++i) jobs.push_back({data.Items(i), 1 << 20});
  {
    // The installer leaves after two files: the thread stops, nothing hangs.
    TDecodeAhead ahead(data, jobs);
    std::string bytes;
    EXPECT_TRUE(ahead.Take(bytes));
    EXPECT_TRUE(ahead.Take(bytes));
  }
  TDecodeAhead none(data, {});
}

}  // namespace

#endif
