#include "oidb_msg.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace ferry {
namespace {

// Every byte of the record, so a test sees what the builder wrote and what it left at zero.
std::string bytesOf(const OidbMsg& msg) {
  return std::string(reinterpret_cast<const char*>(&msg), sizeof msg);
}

TEST(OidbMsg, TypesHaveTheirWireValues) {
  EXPECT_EQ(OIDBMSGTYPE_FILE_NAME, 0);
  EXPECT_EQ(OIDBMSGTYPE_RESTORE_REQUEST, 1);
  EXPECT_EQ(OIDBMSGTYPE_NO_MORE_FILES, 2);
  EXPECT_EQ(OIDBMSGTYPE_CKPDB_NAME, 3);
  EXPECT_EQ(OIDBMSGTYPE_END_BACKUP, 4);
  EXPECT_EQ(OIDBMSGTYPE_END_RESTORE, 5);
}

TEST(OidbMsg, BuilderWritesLittleEndianTypeAndZeroFills) {
  OidbMsg msg = makeOidbMsg(0x01020304, "C:\\loc\\aaaaaaab.t00", "c0012001.ckp");
  std::string bytes = bytesOf(msg);
  ASSERT_EQ(bytes.size(), 340u);
  EXPECT_EQ(bytes.substr(0, 4), std::string("\x04\x03\x02\x01", 4)) << "type bytes";
  EXPECT_EQ(std::string(bytes.data() + 4), "C:\\loc\\aaaaaaab.t00");
  EXPECT_EQ(std::string(bytes.data() + 260), "c0012001.ckp");
  // Everything after each text is zero up to the field's end.
  for (size_t at = 4 + 19; at < 260; ++at) ASSERT_EQ(bytes[at], '\0') << "ObjectName byte " << at;
  for (size_t at = 260 + 12; at < 340; ++at) ASSERT_EQ(bytes[at], '\0') << "ckpdb_name byte " << at;
}

TEST(OidbMsg, ReleaseRecordIsAllZeroButItsType) {
  OidbMsg msg = makeOidbMsg(OIDBMSGTYPE_END_BACKUP);
  std::string bytes = bytesOf(msg);
  EXPECT_EQ(bytes.substr(0, 4), std::string("\x04\0\0\0", 4));
  EXPECT_EQ(bytes.find_first_not_of('\0', 4), std::string::npos)
      << "first non-zero byte at " << bytes.find_first_not_of('\0', 4);
}

TEST(OidbMsg, TextsAtEveryFieldSizeEdgeKeepTheirNul) {
  for (size_t length :
       {kMaxObjectNameLength - 1, kMaxObjectNameLength, kMaxObjectNameLength + 1, size_t{1000}}) {
    std::string text(length, 'p');
    OidbMsg msg = makeOidbMsg(OIDBMSGTYPE_FILE_NAME, text, text);
    size_t expectObject = length < kObjectNameSize ? length : kMaxObjectNameLength;
    size_t expectCkpdb = length < kCkpdbNameSize ? length : kMaxCkpdbNameLength;
    EXPECT_EQ(objectNameOf(msg).size(), expectObject) << "length " << length;
    EXPECT_EQ(msg.ObjectName[kObjectNameSize - 1], '\0') << "length " << length;
    EXPECT_EQ(ckpdbNameOf(msg).size(), expectCkpdb) << "length " << length;
    EXPECT_EQ(msg.ckpdb_name[kCkpdbNameSize - 1], '\0') << "length " << length;
    EXPECT_EQ(fitsObjectName(text), length <= 255u) << "length " << length;
  }
  for (size_t length : {size_t{78}, size_t{79}, size_t{80}}) {
    EXPECT_EQ(fitsCkpdbName(std::string(length, 'c')), length <= 79u) << "length " << length;
  }
}

TEST(OidbMsg, ReceivedFieldsWithoutNulStopAtTheirArrayEnd) {
  OidbMsg msg;
  std::memset(&msg, 'x', sizeof msg);
  EXPECT_EQ(objectNameOf(msg).size(), kObjectNameSize);
  EXPECT_EQ(ckpdbNameOf(msg).size(), kCkpdbNameSize);
}

TEST(OidbMsg, CheckpointNumberTextIsCharactersTwoToFive) {
  EXPECT_EQ(checkpointNumberText("c0012001.ckp"), "0012");
  EXPECT_EQ(checkpointNumberText("c0012"), "0012");
  EXPECT_EQ(checkpointNumberText("c001"), "001");
  EXPECT_EQ(checkpointNumberText("c"), "");
  EXPECT_EQ(checkpointNumberText(""), "");
  EXPECT_EQ(checkpointPrefix("c0012001.ckp"), "c0012");
  EXPECT_EQ(checkpointPrefix("c00"), "c00");
}

TEST(OidbMsg, PlaceholderAndPipePrefix) {
  EXPECT_STREQ(kDumpPlaceholder, "\\Tidewell-DUMMY\\DUMPFILE");
  EXPECT_STREQ(kExtractorPipePrefix, "\\\\.\\pipe\\TID");
}

}  // namespace
}  // namespace ferry
