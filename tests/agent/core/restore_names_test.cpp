// The platform-free rules of the restore: header checks, path confinement, end time and marker.
#include "core/restore_names.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "object_header.h"

namespace ferry::agent {
namespace {

std::vector<unsigned char> objectHeader(const std::string& path, const std::string& checkpoint) {
  std::vector<unsigned char> block(header::kSize, 0);
  std::memcpy(block.data() + header::kMagicOffset, header::kMagic, sizeof header::kMagic - 1);
  std::memcpy(block.data() + header::kCheckpointOffset, checkpoint.data(), checkpoint.size());
  std::memcpy(block.data() + header::kPathOffset, path.data(),
              std::min(path.size(), header::kPathSize));
  return block;
}

TEST(RestoreNames, ChecksHeaders) {
  std::vector<unsigned char> good = objectHeader("C:\\db\\aaaaaaab.t00", "0001");
  EXPECT_EQ(checkRestoreHeader(good.data(), good.size(), true), HeaderCheck::Ok);
  {
    SCOPED_TRACE("size: one byte less or more than a header");
    EXPECT_EQ(checkRestoreHeader(good.data(), 1023, false), HeaderCheck::WrongSize);
    std::vector<unsigned char> longer(good);
    longer.push_back(0);
    EXPECT_EQ(checkRestoreHeader(longer.data(), longer.size(), false), HeaderCheck::WrongSize);
  }
  {
    SCOPED_TRACE("magic");
    std::vector<unsigned char> block(good);
    block[0] = 'f';
    EXPECT_EQ(checkRestoreHeader(block.data(), block.size(), false), HeaderCheck::NoMagic);
    std::vector<unsigned char> data(header::kSize, 0x41);
    EXPECT_EQ(checkRestoreHeader(data.data(), data.size(), false), HeaderCheck::NoMagic);
  }
  {
    SCOPED_TRACE("path: empty, or filling its whole field without a NUL");
    std::vector<unsigned char> empty = objectHeader("", "0001");
    EXPECT_EQ(checkRestoreHeader(empty.data(), empty.size(), false), HeaderCheck::NoPath);
    std::vector<unsigned char> full = objectHeader(std::string(header::kPathSize, 'p'), "0001");
    EXPECT_EQ(checkRestoreHeader(full.data(), full.size(), false), HeaderCheck::NoPath);
    std::vector<unsigned char> longest =
        objectHeader("C:\\" + std::string(header::kPathSize - 4, 'p'), "0001");
    EXPECT_EQ(checkRestoreHeader(longest.data(), longest.size(), false), HeaderCheck::Ok);
  }
  {
    SCOPED_TRACE("checkpoint: digits only, on the first header of a connection");
    for (const char* bad : {"", "0001 -j", "12a", "1234567890"}) {
      std::vector<unsigned char> block = objectHeader("C:\\db\\f", bad);
      EXPECT_EQ(checkRestoreHeader(block.data(), block.size(), true), HeaderCheck::BadCheckpoint)
          << "'" << bad << "'";
      EXPECT_EQ(checkRestoreHeader(block.data(), block.size(), false), HeaderCheck::Ok) << bad;
    }
    std::vector<unsigned char> nine = objectHeader("C:\\db\\f", "123456789");
    EXPECT_EQ(checkRestoreHeader(nine.data(), nine.size(), true), HeaderCheck::Ok);
  }
}

TEST(RestoreNames, ConfinesPathsToTheirDirectory) {
  const std::string dir = "C:\\ii\\ingres\\data\\default\\mydb";
  EXPECT_TRUE(fileInDirectory(dir + "\\aaaaaaab.t00", dir));
  EXPECT_TRUE(fileInDirectory(dir + "\\aaaaaaab.t00", dir + "\\"));
  EXPECT_TRUE(fileInDirectory("c:\\II\\Ingres\\DATA\\default\\MYDB\\a.t00", dir)) << "case";
  EXPECT_TRUE(fileInDirectory("C:/ii/ingres/data/default/mydb/a.t00", dir)) << "slashes";
  EXPECT_TRUE(fileInDirectory("\\\\srv\\share\\db\\f", "\\\\srv\\share\\db"));
  const char* refused[] = {
      "C:\\ii\\ingres\\data\\default\\mydb",                // the directory itself
      "C:\\ii\\ingres\\data\\default\\mydb\\",              // no file name
      "C:\\ii\\ingres\\data\\default\\mydb\\sub\\f",        // below it
      "C:\\ii\\ingres\\data\\default\\mydb2\\f",            // a sibling sharing the prefix
      "C:\\ii\\ingres\\data\\default\\mydb\\..\\mydb\\f",   // ".."
      "C:\\ii\\ingres\\data\\default\\mydb\\..\\..\\evil",  // ".." out
      "C:\\ii\\ingres\\data\\default\\mydb\\.\\f",          // "."
      "C:\\ii\\ingres\\data\\default\\mydb\\.. ",           // ".." that Windows would trim
      "C:\\ii\\ingres\\data\\default\\mydb\\f.",            // trailing dot
      "C:\\ii\\ingres\\data\\default\\mydb\\\\f",           // empty component
      "C:\\ii\\ingres\\data\\default\\mydb\\f:stream",      // alternate stream
      "C:\\ii\\ingres\\data\\default\\mydb\\f*",            // wildcard
      "ii\\ingres\\data\\default\\mydb\\f",                 // relative
      "C:ii\\ingres\\data\\default\\mydb\\f",               // drive-relative
      "D:\\ii\\ingres\\data\\default\\mydb\\f",             // another drive
      "",
  };
  for (const char* path : refused) EXPECT_FALSE(fileInDirectory(path, dir)) << path;
  EXPECT_FALSE(fileInDirectory("C:\\a\\f", "")) << "no destination";
  EXPECT_FALSE(fileInDirectory("C:\\a\\..\\f", "C:\\a\\..")) << "destination with ..";
  EXPECT_TRUE(sameDirectory("C:\\A\\b\\", "c:\\a\\B"));
  EXPECT_FALSE(sameDirectory("C:\\a\\b\\", "C:\\a\\"));
  EXPECT_EQ(std::string(directoryOf("C:\\a\\f")), "C:\\a\\");
  EXPECT_EQ(std::string(directoryOf("f")), "");
  EXPECT_EQ(std::string(directoryOf("C:/a/f")), "C:/a/") << "a path the rules accept with '/'";
  EXPECT_EQ(endMarkerPath("C:\\a\\", "0007"), "C:\\a\\zzzz0007.ali");
}

TEST(RestoreNames, FormatsEndTimeInEnglish) {
  std::tm time{};
  time.tm_year = 126;
  time.tm_mon = 0;
  time.tm_mday = 5;
  time.tm_hour = 7;
  time.tm_min = 8;
  time.tm_sec = 9;
  char text[31];
  ASSERT_TRUE(formatEndTime(time, text, sizeof text));
  EXPECT_STREQ(text, "05-Jan-2026:07:08:09");
  time.tm_mon = 11;
  ASSERT_TRUE(formatEndTime(time, text, sizeof text));
  EXPECT_STREQ(text, "05-Dec-2026:07:08:09");
  {
    SCOPED_TRACE("buffer edges: 20 characters need 21 bytes");
    char exact[21];
    EXPECT_TRUE(formatEndTime(time, exact, sizeof exact));
    char shorter[20];
    std::memset(shorter, 0xbd, sizeof shorter);
    EXPECT_FALSE(formatEndTime(time, shorter, sizeof shorter));
    EXPECT_EQ(shorter[0], '\0');
  }
  time.tm_mon = 12;
  EXPECT_FALSE(formatEndTime(time, text, sizeof text));
}

}  // namespace
}  // namespace ferry::agent
