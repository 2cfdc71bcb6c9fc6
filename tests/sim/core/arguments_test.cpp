#include "core/arguments.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ingsim::core {
namespace {

using Args = std::vector<std::string>;

TEST(IngsimArguments, CreateAndDatabaseCommands) {
  IngsimCommand command;
  {
    SCOPED_TRACE("create with every option");
    ASSERT_EQ(parseIngsimCommand({"create", "--code", "T1", "--root", "C:\\t\\T1", "--version", "3",
                                  "--owner", "bob", "--config-user", "system", "--config-user",
                                  "bob", "--host", "h1", "--force", "--no-path"},
                                 &command),
              "");
    EXPECT_EQ(command.kind, CommandKind::kCreate);
    const InstallationOptions& o = command.installation;
    EXPECT_EQ(o.code, "T1");
    EXPECT_EQ(o.root, "C:\\t\\T1");
    EXPECT_EQ(o.majorVersion, 3);
    EXPECT_EQ(o.installLogOwner, "bob");
    EXPECT_EQ(o.configDatUsers, (std::vector<std::string>{"system", "bob"}));
    EXPECT_EQ(o.hostName, "h1");
    EXPECT_TRUE(o.overwrite);
    EXPECT_FALSE(o.addToMachinePath);
  }
  {
    SCOPED_TRACE("database: files attach to the location before them");
    ASSERT_EQ(parseIngsimCommand({"database",
                                  "--code",
                                  "T1",
                                  "--name",
                                  "db",
                                  "--file",
                                  "r:1K",
                                  "--location",
                                  "II_DATA2",
                                  "--file",
                                  "a:2",
                                  "--file",
                                  "b:3M",
                                  "--location",
                                  "ii_database",
                                  "--journaled",
                                  "--journals",
                                  "4",
                                  "--journal-size",
                                  "8K",
                                  "--checkpoint",
                                  "2",
                                  "--dump-file",
                                  "d1:5",
                                  "--table",
                                  "emp",
                                  "--config-size",
                                  "1G"},
                                 &command),
              "");
    const DatabaseOptions& d = command.database;
    ASSERT_EQ(d.locations.size(), 3u);
    EXPECT_EQ(d.locations[0].area, "");
    ASSERT_EQ(d.locations[0].files.size(), 1u);
    EXPECT_EQ(d.locations[0].files[0].size, 1024u);
    EXPECT_EQ(d.locations[1].area, "II_DATA2");
    ASSERT_EQ(d.locations[1].files.size(), 2u);
    EXPECT_EQ(d.locations[1].files[1].name, "b");
    EXPECT_EQ(d.locations[1].files[1].size, 3u << 20);
    EXPECT_EQ(d.locations[2].area, "") << "ii_database names the default location";
    EXPECT_TRUE(d.journaled);
    EXPECT_EQ(d.journalFiles, 4);
    EXPECT_EQ(d.journalFileSize, 8192u);
    EXPECT_EQ(d.checkpointSequence, 2);
    ASSERT_EQ(d.dumpFiles.size(), 1u);
    EXPECT_EQ(d.dumpFiles[0].size, 5u);
    EXPECT_EQ(d.configFileSize, 1ull << 30);
    EXPECT_EQ(d.userTables, (std::vector<std::string>{"emp"}));
  }
}

TEST(IngsimArguments, MalformedCommandLinesAreRefused) {
  const Args bad[] = {
      {},
      {"frobnicate"},
      {"create", "--code", "T1"},
      {"create", "--root", "C:\\x"},
      {"create", "--code", "T1", "--root", "C:\\x", "--version", "4"},
      {"create", "--code", "T1", "--root"},
      {"create", "--code", "T1", "--root", "C:\\x", "--bogus"},
      {"database", "--code", "T1"},
      {"database", "--code", "T1", "--name", "d", "--file", "nosize"},
      {"database", "--code", "T1", "--name", "d", "--journals", "-1"},
      {"database", "--code", "T1", "--name", "d", "stray"},
      {"setenv", "--code", "T1", "ONLY_NAME"},
      {"account", "add", "--name", "u"},
      {"account", "delete", "--name", "u"},
      {"account", "remove", "--name", "u", "--password", "p"},
      {"remove"},
      {"show"},
      {"show", "--code"},
      {"show", "--code", "T1", "--verbose"},
  };
  for (const Args& args : bad) {
    IngsimCommand command;
    std::string joined;
    for (const std::string& a : args) joined += a + " ";
    EXPECT_NE(parseIngsimCommand(args, &command), "") << "accepted: " << joined;
  }
  EXPECT_NE(ingsimUsage().find("ingsim create"), std::string::npos);
}

TEST(IngsimArguments, ShowCommand) {
  IngsimCommand command;
  ASSERT_EQ(parseIngsimCommand({"show", "--code", "T7"}, &command), "");
  EXPECT_EQ(command.kind, CommandKind::kShow);
  EXPECT_EQ(command.code, "T7");
  EXPECT_NE(ingsimUsage().find("ingsim show     --code C"), std::string::npos) << ingsimUsage();
}

TEST(IngsimArguments, JournalCommandAndRecordTimes) {
  IngsimCommand command;
  ASSERT_EQ(parseIngsimCommand({"journal", "--code", "T8", "--name", "db", "--at", "+60", "--at",
                                "2026-02-28 23:59:59", "--at", "-5", "--record-size", "2K"},
                               &command),
            "");
  EXPECT_EQ(command.kind, CommandKind::kJournal);
  EXPECT_EQ(command.code, "T8");
  EXPECT_EQ(command.journal.database, "db");
  EXPECT_EQ(command.journal.recordSize, 2048u);
  ASSERT_EQ(command.journal.times.size(), 3u);
  EXPECT_TRUE(command.journal.times[0].relative);
  EXPECT_EQ(command.journal.times[0].secondsFromNow, 60);
  const JournalTime& local = command.journal.times[1];
  EXPECT_FALSE(local.relative);
  EXPECT_EQ(local.year * 10000 + local.month * 100 + local.day, 20260228);
  EXPECT_EQ(local.hour * 10000 + local.minute * 100 + local.second, 235959);
  EXPECT_EQ(command.journal.times[2].secondsFromNow, -5);
  for (const Args& args :
       {Args{"journal", "--code", "T8", "--name", "db"},
        Args{"journal", "--name", "db", "--at", "+1"},
        Args{"journal", "--code", "T8", "--at", "+1"},
        Args{"journal", "--code", "T8", "--name", "db", "--at", "+1", "--record-size", "2M"},
        Args{"journal", "--code", "T8", "--name", "db", "--at", "+1", "--at"}}) {
    EXPECT_NE(parseIngsimCommand(args, &command), "") << args.size() << " arguments accepted";
  }
  JournalTime time;
  for (const char* bad : {"", "+", "60", "+1x", "+1234567890", "2026-02-29 10:00:00",
                          "2026-13-01 10:00:00", "2026-01-01 24:00:00", "2026-01-01T10:00:00",
                          "1969-12-31 23:59:59", "2026-1-01 10:00:00", "2026-01-01 10:00:00 "}) {
    EXPECT_FALSE(parseJournalTime(bad, &time)) << "accepted '" << bad << "'";
  }
  EXPECT_TRUE(parseJournalTime("2024-02-29 00:00:00", &time)) << "a leap day";
  EXPECT_NE(ingsimUsage().find("ingsim journal  --code C --name DB --at TIME"), std::string::npos);
}

TEST(IngsimArguments, Sizes) {
  uint64_t size = 0;
  EXPECT_TRUE(parseSize("0", &size));
  EXPECT_EQ(size, 0u);
  EXPECT_TRUE(parseSize("2G", &size));
  EXPECT_EQ(size, 2ull << 30);
  EXPECT_TRUE(parseSize("18446744073709551615", &size));
  EXPECT_EQ(size, 18446744073709551615ull);
  for (const char* text : {"", "K", "18446744073709551616", "17179869184G", "1.5M", "-1", "1T"}) {
    size = 77;
    EXPECT_FALSE(parseSize(text, &size)) << "accepted '" << text << "'";
    EXPECT_EQ(size, 77u) << "changed on failure for '" << text << "'";
  }
  SampleFile file;
  EXPECT_TRUE(parseNamedSize("a:b.dat:10K", &file));
  EXPECT_EQ(file.name, "a:b.dat");
  EXPECT_EQ(file.size, 10240u);
  EXPECT_FALSE(parseNamedSize(":10", &file));
}

}  // namespace
}  // namespace ingsim::core
