// The console's command line: every command form, every malformed form, and the exit codes
// the usage text documents.
#include "core/command_line.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "core/exit_code.h"
#include "core/password_source.h"

namespace ferry::ctl {
namespace {

ParseOutcome parse(std::initializer_list<std::string_view> args) {
  std::vector<std::string_view> list(args);
  return parseCommandLine(list);
}

std::string describe(const ParseOutcome& outcome) {
  if (!outcome.command) return "error: " + outcome.error;
  const Command& c = *outcome.command;
  return "kind " + std::to_string(static_cast<int>(c.kind)) + ", agent '" + c.agentPath +
         "', code " + std::to_string(c.errorCode);
}

TEST(CtlCommandLine, CommandForms) {
  {
    SCOPED_TRACE("connect without --agent");
    ParseOutcome p = parse({"connect", "ingres@II", "-dom\\user"});
    ASSERT_TRUE(p.command) << describe(p);
    EXPECT_EQ(p.command->kind, CommandKind::kConnect) << describe(p);
    EXPECT_EQ(p.command->agentPath, "");
    EXPECT_EQ(p.command->connect.instance, "ingres@II");
    EXPECT_EQ(p.command->connect.account, "-dom\\user")
        << "an operand that begins with '-' is not an option";
    EXPECT_EQ(p.command->connect.password, "") << "the password is never an operand";
    EXPECT_EQ(p.command->passwordFile, "");
    EXPECT_TRUE(commandConnects(p.command->kind));
  }
  {
    SCOPED_TRACE("connect with --agent and --password-file, in either order");
    ParseOutcome p = parse({"--agent", "C:\\a b\\ferryman.dll", "--password-file", "C:\\p w.txt",
                            "connect", "i", "a"});
    ASSERT_TRUE(p.command) << describe(p);
    EXPECT_EQ(p.command->agentPath, "C:\\a b\\ferryman.dll");
    EXPECT_EQ(p.command->passwordFile, "C:\\p w.txt");
    p = parse({"--password-file", "pw.txt", "--agent", "x.dll", "info", "i", "a"});
    ASSERT_TRUE(p.command) << describe(p);
    EXPECT_EQ(p.command->passwordFile, "pw.txt");
    EXPECT_EQ(p.command->agentPath, "x.dll");
  }
  {
    SCOPED_TRACE("error");
    ParseOutcome p = parse({"--agent", "x.dll", "error", "0010002"});
    ASSERT_TRUE(p.command) << describe(p);
    EXPECT_EQ(p.command->kind, CommandKind::kError) << describe(p);
    EXPECT_EQ(p.command->errorCode, 10002u) << "leading zeros are still decimal";
    EXPECT_EQ(p.command->agentPath, "x.dll");
    EXPECT_FALSE(commandConnects(p.command->kind)) << "no password asked for";
    p = parse({"error", "4294967295"});
    EXPECT_EQ(p.command ? p.command->errorCode : 0u, 4294967295u)
        << "the largest code; " << describe(p);
  }
  for (auto args : {std::vector<std::string_view>{"--help"},
                    {"-h"},
                    {"--agent", "x", "--help"},
                    {"--help", "connect"}}) {
    ParseOutcome p = parseCommandLine(args);
    ASSERT_TRUE(p.command) << args[0] << " " << describe(p);
    EXPECT_EQ(p.command->kind, CommandKind::kHelp) << args.size() << " args: " << describe(p);
  }
}

TEST(CtlCommandLine, MalformedFormsSayWhatIsWrong) {
  struct Case {
    std::vector<std::string_view> args;
    std::string_view expected;  // part of the message
  };
  const Case cases[] = {
      {{}, "no command given"},
      {{"--agent", "x.dll"}, "no command given"},
      {{"--agent"}, "--agent needs the path"},
      {{"--agent", ""}, "--agent needs the path"},
      {{"--agent", "a", "--agent", "b", "error", "1"}, "more than once"},
      {{"--verbose", "error", "1"}, "unknown option '--verbose'"},
      {{"backups"}, "unknown command 'backups'"},
      {{"Connect", "i", "a"}, "unknown command 'Connect'"},
      {{"connect"}, "connect takes 2 arguments (INSTANCE ACCOUNT), 0 given"},
      {{"connect", "i"}, "1 given"},
      {{"connect", "i", "a", "p"},
       "3 given; the password is not an argument (--password-file PATH, FERRYCTL_PASSWORD"},
      {{"--password-file"}, "--password-file needs the path"},
      {{"--password-file", "", "connect", "i", "a"}, "--password-file needs the path"},
      {{"--password-file", "a", "--password-file", "b", "connect", "i", "a"}, "more than once"},
      {{"error"}, "error takes 1 argument (CODE), 0 given"},
      {{"error", "1", "2"}, "2 given"},
      {{"error", "abc"}, "'abc' is not a decimal number"},
      {{"error", ""}, "empty"},
      {{"error", "-1"}, "'-1' is not a decimal number"},
      {{"error", "+1"}, "not a decimal number"},
      {{"error", " 1"}, "not a decimal number"},
      {{"error", "0x12"}, "not a decimal number"},
      {{"error", "4294967296"}, "'4294967296' is out of range"},
      {{"error", "99999999999999999999999"}, "out of range"},
  };
  for (const Case& c : cases) {
    ParseOutcome p = parseCommandLine(c.args);
    std::string line;
    for (std::string_view a : c.args) line += "[" + std::string(a) + "]";
    EXPECT_FALSE(p.command) << line << " parsed as " << describe(p);
    EXPECT_NE(p.error.find(c.expected), std::string::npos)
        << line << ": message '" << p.error << "' lacks '" << c.expected << "'";
  }
}

TEST(CtlCommandLine, CatalogueBackupAndRestoreForms) {
  {
    SCOPED_TRACE("list: --properties after the fixed operands; a password like an option");
    ParseOutcome p = parse({"list", "i@II", "--properties", "--properties"});
    ASSERT_TRUE(p.command) << describe(p);
    EXPECT_EQ(p.command->kind, CommandKind::kList);
    EXPECT_EQ(p.command->connect.account, "--properties");
    EXPECT_TRUE(p.command->listProperties);
    p = parse({"list", "i@II", "ingres"});
    ASSERT_TRUE(p.command) << describe(p);
    EXPECT_FALSE(p.command->listProperties);
  }
  {
    SCOPED_TRACE("info and excluded");
    ParseOutcome p = parse({"info", "i@II", "a"});
    ASSERT_TRUE(p.command) << describe(p);
    EXPECT_EQ(p.command->kind, CommandKind::kInfo);
    p = parse({"excluded", "i@II", "-a"});
    ASSERT_TRUE(p.command) << describe(p);
    EXPECT_EQ(p.command->kind, CommandKind::kExcluded);
    EXPECT_EQ(p.command->connect.account, "-a");
  }
  {
    SCOPED_TRACE("backup --database with option bits");
    ParseOutcome p = parse(
        {"backup", "i@II", "a", "C:\\x.fya", "--option-bits", "0x10", "--database", "sample"});
    ASSERT_TRUE(p.command) << describe(p);
    EXPECT_EQ(p.command->kind, CommandKind::kBackup);
    EXPECT_EQ(p.command->backup.archivePath, "C:\\x.fya");
    EXPECT_EQ(p.command->backup.database, "sample");
    EXPECT_TRUE(p.command->backup.objects.empty());
    EXPECT_EQ(p.command->backup.optionBits, 0x10u);
  }
  {
    SCOPED_TRACE("backup of named objects; -- lets a name begin with '-'");
    ParseOutcome p = parse({"backup", "i@II", "a", "x.fya", "db.data", "~JOURNAL OF DATABASE db",
                            "--", "-odd.~CONFIG"});
    ASSERT_TRUE(p.command) << describe(p);
    EXPECT_EQ(p.command->backup.database, "");
    EXPECT_EQ(p.command->backup.objects,
              (std::vector<std::string>{"db.data", "~JOURNAL OF DATABASE db", "-odd.~CONFIG"}));
    EXPECT_EQ(p.command->backup.optionBits, 0u) << "default option bits";
    EXPECT_FALSE(p.command->backup.remote);
  }
  {
    SCOPED_TRACE("--remote, or option bit 0x4, streams through the remote pipe");
    ParseOutcome p = parse({"backup", "i@II", "a", "x.fya", "db.DATA", "--remote"});
    ASSERT_TRUE(p.command) << describe(p);
    EXPECT_TRUE(p.command->backup.remote);
    EXPECT_EQ(p.command->backup.optionBits, 0x4u);
    p = parse({"restore", "a.fya", "i@II", "ingres", "--option-bits", "0x204"});
    ASSERT_TRUE(p.command) << describe(p);
    EXPECT_TRUE(p.command->restore.remote) << "the bit alone asks for it too";
    p = parse({"restore", "a.fya", "i@II", "ingres", "--remote", "--remote"});
    EXPECT_FALSE(p.command);
    EXPECT_NE(p.error.find("more than once"), std::string::npos) << p.error;
    p = parse({"list", "i@II", "ingres", "--remote"});
    EXPECT_FALSE(p.command) << "list streams nothing";
  }
  {
    SCOPED_TRACE("restore and restore --list");
    ParseOutcome p = parse({"restore", "a.fya", "i@II", "ingres", "--option-bits", "200"});
    ASSERT_TRUE(p.command) << describe(p);
    EXPECT_EQ(p.command->kind, CommandKind::kRestore);
    EXPECT_EQ(p.command->restore.archivePath, "a.fya");
    EXPECT_EQ(p.command->connect.instance, "i@II");
    EXPECT_EQ(p.command->connect.account, "ingres");
    EXPECT_EQ(p.command->restore.optionBits, 0x200u);
    p = parse({"restore", "--list", "a.fya"});
    ASSERT_TRUE(p.command) << describe(p);
    EXPECT_EQ(p.command->kind, CommandKind::kRestoreList);
    EXPECT_EQ(p.command->restore.archivePath, "a.fya");
    p = parse({"restore", "a.fya", "i@II", "ingres", "--as-of", "2026-01-05 10:30:00",
               "--option-bits", "0x200"});
    ASSERT_TRUE(p.command) << describe(p);
    ASSERT_TRUE(p.command->restore.asOf);
    EXPECT_EQ(localTimeText(*p.command->restore.asOf), "2026-01-05 10:30:00");
    EXPECT_EQ(p.command->restore.optionBits, 0xa00u) << "--as-of sets the point-in-time bit";
    p = parse({"restore", "a.fya", "i@II", "ingres", "--option-bits", "0x800"});
    ASSERT_TRUE(p.command) << describe(p);
    EXPECT_FALSE(p.command->restore.asOf) << "the bit alone names no time";
    p = parse({"--agent", "x.dll", "verify", "-odd.fya"});
    ASSERT_TRUE(p.command) << describe(p);
    EXPECT_EQ(p.command->kind, CommandKind::kVerify);
    EXPECT_EQ(p.command->restore.archivePath, "-odd.fya") << "the archive is a fixed operand";
    EXPECT_FALSE(commandConnects(p.command->kind)) << "verify needs no password";
  }
  {
    SCOPED_TRACE("option bits: with and without 0x, any case, 8 digits at most");
    std::string error;
    EXPECT_EQ(parseOptionBits("0X1aF", &error).value_or(1), 0x1afu) << error;
    EXPECT_EQ(parseOptionBits("ffffffff", &error).value_or(1), 0xffffffffu) << error;
    EXPECT_FALSE(parseOptionBits("1ffffffff", &error)) << "9 digits";
    EXPECT_FALSE(parseOptionBits("0x", &error));
    EXPECT_FALSE(parseOptionBits("12g", &error));
    EXPECT_FALSE(parseOptionBits("-1", &error));
  }
}

TEST(CtlCommandLine, MalformedBackupAndRestoreForms) {
  struct Case {
    std::vector<std::string_view> args;
    std::string_view expected;
  };
  const Case cases[] = {
      {{"backup", "i", "a"}, "backup takes 3 arguments"},
      {{"backup", "i", "a", "x.fya"}, "needs --database DB or at least one object"},
      {{"backup", "i", "a", "x.fya", "--database", "db", "db.DATA"}, "not both"},
      {{"backup", "i", "a", "x.fya", "--database"}, "--database needs a database name"},
      {{"backup", "i", "a", "x.fya", "--database", "a.b"}, "holds a '.'"},
      {{"backup", "i", "a", "x.fya", "--database", "d", "--database", "e"}, "more than once"},
      {{"backup", "i", "a", "x.fya", "db.DATA", "--option-bits", "zz"}, "hexadecimal"},
      {{"backup", "i", "a", "x.fya", "db.DATA", "--option-bits"}, "needs a hexadecimal"},
      {{"backup", "i", "a", "x.fya", "db.DATA.old"}, "'db.DATA.old' is not an object name"},
      {{"backup", "i", "a", "x.fya", "~journal of database db"}, "is not an object name"},
      {{"backup", "i", "a", "x.fya", "db.DATA", "db.data"}, "'db.data' is named twice"},
      {{"backup", "i", "a", "x.fya", "db.DATA", "--properties"}, "does not take the option"},
      {{"backup", "i", "a", "", "db.DATA"}, "archive path is empty"},
      {{"list", "i", "a", "extra"}, "list takes 2 arguments"},
      {{"list", "i", "a", "--database", "x"}, "does not take the option '--database'"},
      {{"info", "i"}, "info takes 2 arguments"},
      {{"excluded", "i", "a", "q"}, "3 given"},
      {{"restore", "--list"}, "restore --list takes the archive path alone"},
      {{"restore", "--list", "a", "b"}, "restore --list takes the archive path alone"},
      {{"restore", "a.fya", "i"}, "restore takes 3 arguments"},
      {{"restore", "a.fya", "i", "a", "p"}, "4 given; the password is not an argument"},
      {{"restore", "a.fya", "i", "a", "--as-of", "2026-01-05"},
       "--as-of '2026-01-05' is not a local time of the form \"YYYY-MM-DD HH:MM:SS\""},
      {{"restore", "a.fya", "i", "a", "--as-of", "2026-02-30 10:00:00"}, "is not a local time"},
      {{"restore", "a.fya", "i", "a", "--as-of"}, "--as-of needs a local time of the form"},
      {{"restore", "a.fya", "i", "a", "--as-of", ""}, "--as-of needs a local time"},
      {{"restore", "a.fya", "i", "a", "--as-of", "2026-01-05 10:00:00", "--as-of",
        "2026-01-05 11:00:00"},
       "--as-of is given more than once"},
      {{"restore", "--list", "a.fya", "--as-of", "2026-01-05 10:00:00"}, "archive path alone"},
      {{"backup", "i", "a", "x.fya", "db.DATA", "--as-of", "2026-01-05 10:00:00"},
       "backup does not take the option '--as-of'"},
      {{"verify"}, "verify takes 1 argument (ARCHIVE), 0 given"},
      {{"verify", "a.fya", "b.fya"}, "2 given"},
      {{"verify", ""}, "archive path is empty"},
  };
  for (const Case& c : cases) {
    ParseOutcome p = parseCommandLine(c.args);
    std::string line;
    for (std::string_view a : c.args) line += "[" + std::string(a) + "]";
    EXPECT_FALSE(p.command) << line << " parsed as " << describe(p);
    EXPECT_NE(p.error.find(c.expected), std::string::npos)
        << line << ": message '" << p.error << "' lacks '" << c.expected << "'";
  }
}

TEST(CtlCommandLine, JsonBeforeTheCommandAlsoForMalformedLines) {
  {
    SCOPED_TRACE("--json among the console's options: the command's name comes with it");
    ParseOutcome p = parse({"--agent", "x.dll", "--json", "info", "i@II", "a"});
    ASSERT_TRUE(p.command) << describe(p);
    EXPECT_TRUE(p.command->json);
    EXPECT_TRUE(p.json);
    EXPECT_EQ(p.commandName, "info");
    p = parse({"--json", "restore", "--list", "a.fya"});
    EXPECT_EQ(p.commandName, "verify") << "restore --list is verify by another name";
    p = parse({"info", "i@II", "a"});
    ASSERT_TRUE(p.command) << describe(p);
    EXPECT_FALSE(p.command->json);
    EXPECT_FALSE(p.json);
  }
  struct Case {
    std::vector<std::string_view> args;
    bool json;
    std::string_view commandName;
    std::string_view expected;
  };
  const Case cases[] = {
      {{"--json", "info", "i@II"}, true, "info", "info takes 2 arguments"},
      {{"--json", "--json", "info", "i", "a"}, true, "", "--json is given more than once"},
      {{"--json", "nosuch"}, true, "", "unknown command 'nosuch'"},
      {{"--json"}, true, "", "no command given"},
      {{"--json", "restore", "--list"}, true, "restore", "archive path alone"},
      {{"info", "i", "a", "--json"},
       false,
       "info",
       "--json is an option of the console: it goes before the command"},
      {{"list", "i", "a", "--properties", "--json"}, false, "list", "--json is an option"},
      {{"backup", "i", "a", "x.fya", "db.DATA", "--agent", "y.dll"},
       false,
       "backup",
       "--agent is an option of the console: it goes before the command"},
      {{"verify", "a.fya", "--password-file"}, false, "verify", "--password-file is an option"},
      {{"backup", "i", "a", "x.fya", "--", "--json"}, false, "backup", "is not an object name"},
  };
  for (const Case& c : cases) {
    ParseOutcome p = parseCommandLine(c.args);
    std::string line;
    for (std::string_view a : c.args) line += "[" + std::string(a) + "]";
    EXPECT_FALSE(p.command) << line << " parsed as " << describe(p);
    EXPECT_EQ(p.json, c.json) << line;
    EXPECT_EQ(p.commandName, c.commandName) << line;
    EXPECT_NE(p.error.find(c.expected), std::string::npos)
        << line << ": message '" << p.error << "' lacks '" << c.expected << "'";
  }
  EXPECT_NE(usageText().find("[--json] COMMAND"), std::string::npos) << usageText();
}

// A password typed on the command line out of habit, where it once was an operand.
TEST(CtlCommandLine, MessagesNeverShowThePassword) {
  const std::string_view password = "Hunter2-secret";
  for (auto args : {std::vector<std::string_view>{"connect", "i", "a", password, "extra"},
                    {"connect", password, "a", "b"},
                    {"connect", password},
                    {"backup", "i", "a", password},
                    {"restore", "x", "i", "a", password, "more"},
                    {"list", "i", "a", password, "extra"},
                    {"info", "i", "a", password}}) {
    ParseOutcome p = parseCommandLine(args);
    EXPECT_FALSE(p.command) << args.size() << " args parsed";
    EXPECT_EQ(p.error.find(password), std::string::npos) << "message: " << p.error;
  }
}

TEST(CtlPasswordSource, FirstLineWithoutItsEnd) {
  EXPECT_EQ(passwordFromText("s3cret\r\nsecond line\n"), "s3cret");
  EXPECT_EQ(passwordFromText("s3cret\n"), "s3cret");
  EXPECT_EQ(passwordFromText("s3cret"), "s3cret") << "no line end at all";
  EXPECT_EQ(passwordFromText(" with blanks\t\r\n"), " with blanks\t") << "blanks are kept";
  EXPECT_EQ(passwordFromText("a\rb\n"), "a\rb") << "only CR LF or LF ends the line";
  EXPECT_EQ(passwordFromText("\r\n"), "");
  EXPECT_EQ(passwordFromText(""), "");
}

TEST(CtlExitCode, DistinctDocumentedValues) {
  EXPECT_EQ(static_cast<int>(exitCodeForResult(0)), 0);
  for (uint32_t result : {1u, 2u, 18u, 85u, 9999u, 10000u, 10002u, 4294967295u}) {
    EXPECT_EQ(exitCodeForResult(result), ExitCode::kAgentError) << "result " << result;
  }
  EXPECT_EQ(static_cast<int>(ExitCode::kAgentError), 1);
  EXPECT_EQ(static_cast<int>(ExitCode::kUsage), 2);
  EXPECT_EQ(static_cast<int>(ExitCode::kAgentLibrary), 3);
  EXPECT_EQ(static_cast<int>(ExitCode::kArchive), 4);
  EXPECT_EQ(static_cast<int>(ExitCode::kMismatch), 5);

  const std::string usage = usageText();
  for (ExitCode code : kAllExitCodes) {
    std::string line = "  " + std::to_string(static_cast<int>(code)) + "  ";
    EXPECT_NE(usage.find(line + std::string(exitCodeMeaning(code))), std::string::npos)
        << "exit code " << static_cast<int>(code) << " undocumented in:\n"
        << usage;
  }
  for (const CommandInfo& info : kCommands) {
    EXPECT_NE(usage.find(std::string(info.name) + " " + std::string(info.operands)),
              std::string::npos)
        << info.name << " missing from usage:\n"
        << usage;
  }
}

}  // namespace
}  // namespace ferry::ctl
