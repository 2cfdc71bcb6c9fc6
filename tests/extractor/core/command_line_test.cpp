#include "command_line.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace ferry::extractor {
namespace {

// argv as the template's work line gives it, with room for edits per case.
struct Args {
  std::vector<std::string> words;
  std::vector<const char*> argv;
  Args(std::initializer_list<std::string> list) : words(list) {
    for (const std::string& word : words) argv.push_back(word.c_str());
    argv.push_back(nullptr);
  }
  int argc() const { return static_cast<int>(words.size()); }
  const char* const* data() const { return argv.data(); }
};

const std::string kPipe = "\\\\.\\pipe\\TIDIIdb1";

ParseResult parse(const Args& args) { return parseCommandLine(args.argc(), args.data()); }

std::string tracesOf(const ParseResult& result) {
  std::string all;
  for (const std::string& line : result.traces) all += line + "|";
  return all;
}

TEST(SiphonCommandLine, TemplateFormParsesWithItsTraceLines) {
  Args args{"siphon", "-P", "C:\\data\\db1", "-C", "c0012001.ckp", "-T", "db_backup", "-N", kPipe};
  ParseResult result = parse(args);
  ASSERT_EQ(result.error, ParseError::kNone) << tracesOf(result);
  EXPECT_EQ(result.line.job, Job::kBackup);
  EXPECT_EQ(result.line.path, "C:\\data\\db1");
  EXPECT_EQ(result.line.ckpdbName, "c0012001.ckp");
  EXPECT_EQ(result.line.pipeName, kPipe);
  EXPECT_FALSE(result.line.debug);
  EXPECT_EQ(tracesOf(result),
            "main: **** Path = C:\\data\\db1|main: **** Ckpdb_name = c0012001.ckp|"
            "job type= db_backup|pipename is: " +
                kPipe + "|");
}

TEST(SiphonCommandLine, OptionsInAnyOrderWithDebugFlagAnywhere) {
  Args args{"siphon", "-D", "-N", kPipe, "-T", "db_restore", "-C", "c1", "-D", "-P", "D:\\loc"};
  ParseResult result = parse(args);
  ASSERT_EQ(result.error, ParseError::kNone) << tracesOf(result);
  EXPECT_EQ(result.line.job, Job::kRestore);
  EXPECT_TRUE(result.line.debug);
  EXPECT_EQ(result.line.path, "D:\\loc");
  EXPECT_EQ(restoreRequestName(result.line), "D:\\loc\\*");
}

TEST(SiphonCommandLine, JobTypeWords) {
  struct Case {
    const char* words[2];
    Job job;
  } cases[] = {
      {{"db_backup", nullptr}, Job::kBackup},
      {{"db_restore", nullptr}, Job::kRestore},
      {{"dump_restore", nullptr}, Job::kDumpRestore},
      {{"dump_restore", "db_backup"}, Job::kBackup},    // a later -T overrides
      {{"db_restore", "table_backup"}, Job::kRestore},  // table_backup keeps the job
      {{"table_backup", nullptr}, Job::kNone},
      {{"db_backup_partial", nullptr}, Job::kNone},
      {{"db_restore_partial", nullptr}, Job::kNone},
      {{"DB_BACKUP", nullptr}, Job::kNone},
      {{"db_backup", "bogus"}, Job::kNone},
  };
  for (const Case& c : cases) {
    Args args{"C:\\bin\\siphon.exe", "-P", "C:\\l", "-C", "c1", "-N", kPipe, "-T", c.words[0]};
    if (c.words[1] != nullptr) {
      args = Args{"C:\\bin\\siphon.exe",
                  "-P",
                  "C:\\l",
                  "-C",
                  "c1",
                  "-N",
                  kPipe,
                  "-T",
                  c.words[0],
                  "-T",
                  c.words[1]};
    }
    ParseResult result = parse(args);
    EXPECT_EQ(result.line.job, c.job) << c.words[0] << " " << (c.words[1] ? c.words[1] : "");
    if (c.job == Job::kNone) {
      EXPECT_EQ(result.error, ParseError::kNoJob) << c.words[0];
      EXPECT_EQ(result.traces.back(),
                "C:\\bin\\siphon.exe: Error: No command specified or invalid command command "
                "specified.  abort.");
    } else {
      EXPECT_EQ(result.error, ParseError::kNone) << c.words[0] << " " << tracesOf(result);
    }
  }
}

TEST(SiphonCommandLine, MalformedLinesAreRejectedWithTheirTrace) {
  struct Case {
    Args args;
    ParseError error;
    const char* lastTrace;
  } cases[] = {
      {Args{"siphon"}, ParseError::kTooFewArguments,
       "Error : siphon-main() : Too few arguments (0)."},
      {Args{"siphon", "-P", "C:\\l", "-C", "c1", "-T", "db_backup", "-N"},
       ParseError::kTooFewArguments, "Error : siphon-main() : Too few arguments (7)."},
      {Args{"siphon", "-P", "C:\\l", "-C", "c1", "-T", "db_backup", "-N", kPipe, "-x"},
       ParseError::kInvalidOption, "Error : siphon-main() : Invalid options."},
      {Args{"siphon", "-p", "C:\\l", "-C", "c1", "-T", "db_backup", "-N", kPipe},
       ParseError::kInvalidOption, "Error : siphon-main() : Invalid options."},
      {Args{"siphon", "-P", "C:\\l", "-C", "c1", "-T", "db_backup", "-D", "-N"},
       ParseError::kMissingValue, "Error : siphon-main() : Option -N takes a value."},
      {Args{"siphon", "-D", "-D", "-D", "-D", "-T", "db_backup", "-D", "-D"},
       ParseError::kMissingOption, "Error : siphon-main() : Option -N is missing."},
      {Args{"siphon", "-N", kPipe, "-C", "c1", "-T", "db_backup", "-D", "-D"},
       ParseError::kMissingOption, "Error : siphon-main() : Option -P is missing."},
  };
  for (const Case& c : cases) {
    ParseResult result = parse(c.args);
    EXPECT_EQ(result.error, c.error) << c.args.argc() << " args: " << tracesOf(result);
    ASSERT_FALSE(result.traces.empty());
    EXPECT_EQ(result.traces.back(), c.lastTrace);
  }
  // A dump restore names no location and needs no -P.
  Args dump{"siphon", "-N", kPipe, "-C", "c1", "-T", "dump_restore", "-D", "-D"};
  ParseResult result = parse(dump);
  EXPECT_EQ(result.error, ParseError::kNone) << tracesOf(result);
  EXPECT_STREQ(restoreRequestName(result.line).c_str(), "\\Tidewell-DUMMY\\DUMPFILE");
}

TEST(SiphonCommandLine, ValuesAtEveryLengthLimit) {
  struct Limit {
    const char* option;
    size_t limit;
  } limits[] = {{"-P", kMaxPathLength}, {"-C", kMaxCkpdbNameLength}, {"-N", kMaxPipeNameLength}};
  for (const Limit& l : limits) {
    for (size_t length : {l.limit - 1, l.limit, l.limit + 1}) {
      std::string value = std::string(l.option) == "-N" ? kPipe : std::string();
      value.resize(length, 'v');
      Args args{"siphon", "-P", "C:\\l",     "-C",     "c1", "-N",
                kPipe,    "-T", "db_backup", l.option, value};
      ParseResult result = parse(args);
      EXPECT_EQ(result.error, length <= l.limit ? ParseError::kNone : ParseError::kValueTooLong)
          << l.option << " length " << length << ": " << result.traces.back();
    }
  }
  // Job type words are not cut or rejected for length: a long one simply selects no job.
  Args longType{"siphon", "-P", "C:\\l", "-C", "c1", "-N", kPipe, "-T", std::string(300, 't')};
  EXPECT_EQ(parse(longType).error, ParseError::kNoJob);
  // A restore asks for "<path>\*", so its path must leave room for the two characters.
  for (size_t length : {size_t{253}, size_t{254}}) {
    Args restore{"siphon", "-P",        std::string(length, 'r'), "-C", "c1", "-N", kPipe,
                 "-T",     "db_restore"};
    EXPECT_EQ(parse(restore).error, length <= 253 ? ParseError::kNone : ParseError::kValueTooLong)
        << "restore path length " << length;
  }
}

TEST(SiphonCommandLine, InstanceKeyFromEighthArgument) {
  Args args{"siphon", "-P", "C:\\l", "-C", "c1", "-T", "db_backup", "-N", kPipe};
  EXPECT_EQ(agentInstanceKey(args.argc(), args.data()), "ferryman@II");
  // Position, not meaning: whatever the eighth argument holds at 12 and 13.
  Args reordered{"siphon", "-N", kPipe, "-C", "c1", "-T", "db_backup", "-P", "C:\\location_on"};
  EXPECT_EQ(agentInstanceKey(reordered.argc(), reordered.data()), "ferryman@on");
  Args shortEighth{"siphon",           "-P", "C:\\l", "-C", "c1", "-T", "db_backup", "-N",
                   "\\\\.\\pipe\\TIDQ"};
  EXPECT_EQ(agentInstanceKey(shortEighth.argc(), shortEighth.data()), "ferryman@Q");
  Args tiny{"siphon", "-P", "C:\\l", "-C", "c1", "-T", "db_backup", "-N", "x"};
  EXPECT_EQ(agentInstanceKey(tiny.argc(), tiny.data()), "ferryman@");
  // A short line takes the -N value, so its rejection can be traced.
  Args fewer{"siphon", "-N", "\\\\.\\pipe\\TIDZ9db", "-T", "db_backup"};
  EXPECT_EQ(agentInstanceKey(fewer.argc(), fewer.data()), "ferryman@Z9");
  Args none{"siphon"};
  EXPECT_EQ(agentInstanceKey(none.argc(), none.data()), "ferryman@");
}

bool shiftJisLead(unsigned char byte) { return (byte >= 0x81 && byte <= 0x9f) || byte >= 0xe0; }

TEST(SiphonTraceDirectory, DirectoryBeforeLastBackslash) {
  std::string dir;
  EXPECT_TRUE(traceDirectoryFromDll("C:\\agent\\ferryman.dll", nullptr, &dir));
  EXPECT_EQ(dir, "C:\\agent");
  EXPECT_FALSE(traceDirectoryFromDll("", nullptr, &dir));
  EXPECT_FALSE(traceDirectoryFromDll("ferryman.dll", nullptr, &dir));
  EXPECT_FALSE(traceDirectoryFromDll("\\ferryman.dll", nullptr, &dir));
  EXPECT_TRUE(traceDirectoryFromDll("C:\\", nullptr, &dir));
  EXPECT_EQ(dir, "C:");
  // "\x95\x5c" is one double-byte character whose trail byte is a backslash.
  EXPECT_TRUE(traceDirectoryFromDll("C:\\a\x95\\b\x95\\", shiftJisLead, &dir));
  EXPECT_EQ(dir, "C:");
  EXPECT_TRUE(traceDirectoryFromDll("C:\\a\x95\\b\x95\\", nullptr, &dir));
  EXPECT_EQ(dir, "C:\\a\x95\\b\x95");
  EXPECT_FALSE(traceDirectoryFromDll("x\x95\\", shiftJisLead, &dir));
}

}  // namespace
}  // namespace ferry::extractor
