// The simulated ckpdb and rollforwarddb run from an installation's ingres\bin, as the agent runs
// them, against templates written here whose commands append to a log file.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "ingsim/installation.h"
#include "ingsim/win_util.h"
#include "scoped_installation.h"
#include "support/child_role.h"
#include "support/win_process.h"
#include "unique_handle.h"

namespace ingsim::test {
namespace {

using ferry::test::ProcessResult;
using ferry::test::runProcess;

// Waits, then appends its text to a file: run by a template line, it shows that the utility
// waited for the command before it ran the next one.
FERRY_CHILD_ROLE(sleep_append) {
  if (argc < 2) return 2;
  Sleep(1500);
  std::string line = std::string(argv[1]) + "\r\n";
  ferry::UniqueFile file(CreateFileA(argv[0], FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return 3;
  DWORD written = 0;
  BOOL ok = WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  return ok ? 0 : 4;
}

// The log lines, without their line ends and the blanks cmd's echo may leave before them.
std::vector<std::string> logLines(const std::string& path) {
  std::vector<std::string> out;
  std::string text = readFile(path);
  if (text == "<unreadable>") return {"<no log>"};
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    std::string line =
        text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    out.push_back(line);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return out;
}

std::string joined(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& line : lines) out += line + "\n";
  return out;
}

// An Ingres message line on standard error: the message id starts in column 26.
std::string messageId(const std::string& err) {
  if (err.size() < 27 || err.compare(25, 2, "E_") != 0) return "<no message line: " + err + ">";
  return err.substr(25, err.find(' ', 25) - 25);
}

class CkpInstallation {
 public:
  explicit CkpInstallation(const std::string& code) : install_(code) {}

  // A database with its root location and a second one in <root>\area2, checkpoint 3.
  std::string create(int journalFiles = 0) {
    std::string error = createInstallation(install_.options());
    if (!error.empty()) return error;
    DatabaseOptions database;
    database.name = "twoloc";
    database.checkpointSequence = 3;
    database.journaled = journalFiles > 0;
    database.journalFiles = journalFiles;
    database.locations.push_back(DataLocation{"", {SampleFile{"aaaaaaab.t00", 100}}});
    database.locations.push_back(DataLocation{secondArea(), {SampleFile{"aaaaaaac.t00", 200}}});
    error = makeFolder(secondArea());
    if (!error.empty()) return error;
    return addDatabase(install_.code(), database);
  }
  std::string secondArea() const { return install_.root() + "\\area2"; }
  std::string folder1() const { return dataFolder(install_.root(), "twoloc"); }
  std::string folder2() const { return dataFolder(secondArea(), "twoloc"); }
  std::string log() const { return install_.root() + "\\log.txt"; }
  std::string templatePath() const { return install_.root() + "\\tmpl.def"; }
  const ScopedInstallation& install() const { return install_; }

  // Writes the template; "LOG" in a line stands for the log file, "SLEEP" for the command that
  // waits and then appends.
  void writeTemplate(const std::vector<std::string>& lines) const {
    std::string text;
    for (std::string line : lines) {
      replaceAll(&line, "LOG", log());
      replaceAll(&line, "SLEEP", ferry::test::selfPath() + " --child sleep_append " + log());
      text += line + "\r\n";
    }
    HANDLE file = CreateFileA(templatePath().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ferry::UniqueFile owned(file);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << GetLastError();
    DWORD written = 0;
    BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    DWORD error = GetLastError();
    owned.reset();
    ASSERT_TRUE(ok && written == text.size()) << "wrote " << written << " bytes, error " << error;
    DeleteFileA(log().c_str());  // each run starts a fresh log; a missing one is fine
  }

  ProcessResult run(const std::string& arguments) const {
    return runProcess(install_.bin() + "\\" + arguments);
  }

 private:
  static void replaceAll(std::string* text, const std::string& from, const std::string& to) {
    for (size_t at = text->find(from); at != std::string::npos;
         at = text->find(from, at + to.size())) {
      text->replace(at, from.size(), to);
    }
  }
  static std::string makeFolder(const std::string& path) {
    return CreateDirectoryA(path.c_str(), nullptr) ? "" : "cannot create " + path;
  }
  ScopedInstallation install_;
};

// The template's checkpoint lines. A digit right before ">>" would make cmd redirect that
// stream, so the lines end their numbers with a '.'.
const std::vector<std::string> kCheckpointLines = {
    "BSTD:\t echo wrong line: tape & cmd /c echo BSTD>>LOG",
    "BSDD:\t echo Beginning checkpoint of %N location(s) & cmd /c echo BSDD %N.>>LOG",
    "PSDD:\t cmd /c echo PSDD %C of %N.>>LOG",
    "WSDD:\t SLEEP \"WSDD %C %D %F\"",
    "WJDA:",
    "ESDD:\t echo Ending checkpoint with %N location(s) & cmd /c echo ESDD %N.>>LOG",
    "EEDE:\t echo done with disk operations & cmd /c echo EEDE.>>LOG",
};

TEST(Ckpdb, RunsTheCheckpointLinesPerLocation) {
  CkpInstallation kp("KP");
  ASSERT_EQ(kp.create(), "");
  kp.writeTemplate(kCheckpointLines);
  ASSERT_TRUE(SetEnvironmentVariableA("II_CKTMPL_FILE", kp.templatePath().c_str()));
  {
    SCOPED_TRACE("first checkpoint: number 4, template from the environment");
    ProcessResult run = kp.run("ckpdb twoloc -v");
    EXPECT_EQ(run.exitCode, 0u) << run.out << run.err;
    EXPECT_EQ(run.err, "") << "a good run writes nothing to standard error";
    const std::string expected = "BSDD 2.\nPSDD 1 of 2.\nWSDD 1 " + kp.folder1() +
                                 " c0004001.ckp\nPSDD 2 of 2.\nWSDD 2 " + kp.folder2() +
                                 " c0004002.ckp\nESDD 2.\nEEDE.\n";
    EXPECT_EQ(joined(logLines(kp.log())), expected) << run.out;
    EXPECT_NE(run.out.find("\nBeginning checkpoint of 2 location(s)\r\n"), std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("\ndone with disk operations\r\n"), std::string::npos) << run.out;
  }
  ASSERT_TRUE(SetEnvironmentVariableA("II_CKTMPL_FILE", nullptr));
  ASSERT_EQ(setVariable("KP", "II_CKTMPL_FILE", kp.templatePath()), "");
  const std::string checkpoints = checkpointFolder(kp.install().root(), "twoloc");
  for (const char* name : {"c0003001.ckp", "c0004001.ckp", "c0004002.ckp", "keep.txt"}) {
    ASSERT_EQ(writeTextFile(checkpoints + "\\" + name, "x"), "") << name;
  }
  kp.writeTemplate(kCheckpointLines);
  {
    SCOPED_TRACE("second checkpoint: number 5, template from the symbol table, -d purges");
    ProcessResult run = kp.run("ckpdb twoloc -d");
    EXPECT_EQ(run.exitCode, 0u) << run.out << run.err;
    EXPECT_EQ(run.err, "");
    std::vector<std::string> log = logLines(kp.log());
    ASSERT_EQ(log.size(), 7u) << joined(log);
    EXPECT_EQ(log[2], "WSDD 1 " + kp.folder1() + " c0005001.ckp");
    EXPECT_EQ(log[4], "WSDD 2 " + kp.folder2() + " c0005002.ckp");
    for (const char* name : {"c0003001.ckp", "c0004001.ckp", "c0004002.ckp"}) {
      EXPECT_FALSE(exists(checkpoints + "\\" + name)) << name << " of an earlier checkpoint stays";
    }
    EXPECT_TRUE(exists(checkpoints + "\\keep.txt")) << "a file that is no checkpoint file went";
    ProcessResult report = kp.run("infodb twoloc");
    EXPECT_NE(report.out.find("Checkpoint sequence :          5"), std::string::npos) << report.out;
  }
}

const std::vector<std::string> kRestoreLines = {
    "BRDD:\t echo Beginning restore with of %N location(s)  & cmd /c echo BRDD %N.>>LOG",
    "PRDD:\t cmd /c echo PRDD %C of %N.>>LOG",
    "WRDD:\t SLEEP \"WRDD %C %D %F\"",
    "WDDD: \t echo deleting files in location %D & del /Q \"%D\\*.*\" & cmd /c echo WDDD "
    "%C %D>>LOG",
    "EEDE:\t echo done with disk operations & cmd /c echo EEDE.>>LOG",
    "ERDD:\t echo Ending restore with of %N location(s) & cmd /c echo ERDD %N.>>LOG",
};

TEST(Rollforwarddb, RunsTheRestoreLinesAndChecksJournals) {
  CkpInstallation kq("KQ");
  ASSERT_EQ(kq.create(/*journalFiles=*/2), "");
  kq.writeTemplate(kRestoreLines);
  ASSERT_TRUE(SetEnvironmentVariableA("II_CKTMPL_FILE", kq.templatePath().c_str()));
  {
    SCOPED_TRACE("#c2 with journals present");
    ProcessResult run = kq.run("rollforwarddb twoloc #c2 -v -e08-Dec-2026:16:20:02 +j");
    EXPECT_EQ(run.exitCode, 0u) << run.out << run.err;
    EXPECT_EQ(run.err, "");
    const std::string expected = "BRDD 2.\nWDDD 1 " + kq.folder1() + "\nPRDD 1 of 2.\nWRDD 1 " +
                                 kq.folder1() + " c0002001.ckp\nWDDD 2 " + kq.folder2() +
                                 "\nPRDD 2 of 2.\nWRDD 2 " + kq.folder2() +
                                 " c0002002.ckp\nERDD 2.\n";
    EXPECT_EQ(joined(logLines(kq.log())), expected) << run.out;
    EXPECT_FALSE(exists(kq.folder1() + "\\aaaaaaab.t00")) << "del did not run through cmd";
    EXPECT_FALSE(exists(kq.folder2() + "\\aaaaaaac.t00"));
  }
  const std::string journal2 = journalFolder(kq.install().root(), "twoloc") + "\\j0000002.jnl";
  ASSERT_TRUE(DeleteFileA(journal2.c_str())) << GetLastError();
  kq.writeTemplate(kRestoreLines);
  {
    SCOPED_TRACE("+j with a journal file missing fails before anything runs");
    ProcessResult run = kq.run("rollforwarddb twoloc #c2 +j");
    EXPECT_NE(run.exitCode, 0u) << run.out;
    EXPECT_EQ(messageId(run.err), "E_DM1311_RFP_MISSING_JOURNAL");
    EXPECT_NE(run.err.find("j0000002.jnl"), std::string::npos) << run.err;
    EXPECT_EQ(joined(logLines(kq.log())), "<no log>\n");
  }
  {
    SCOPED_TRACE("-j needs no journals; without a number the latest checkpoint is restored");
    ProcessResult run = kq.run("rollforwarddb twoloc #c -j");
    EXPECT_EQ(run.exitCode, 0u) << run.out << run.err;
    std::vector<std::string> log = logLines(kq.log());
    ASSERT_EQ(log.size(), 8u) << joined(log);
    EXPECT_EQ(log[3], "WRDD 1 " + kq.folder1() + " c0003001.ckp");
  }
  {
    SCOPED_TRACE("a location's command that fails ends the roll forward there, uncompleted");
    std::vector<std::string> lines = kRestoreLines;
    lines[2] = "WRDD:\t cmd /c echo WRDD %C.>>LOG & cmd /c exit 5";
    kq.writeTemplate(lines);
    ProcessResult run = kq.run("rollforwarddb twoloc #c -j");
    EXPECT_EQ(run.exitCode, 1u) << run.out << run.err;
    EXPECT_EQ(messageId(run.err), "E_DM1105_CKP_COMMAND_FAILED");
    EXPECT_EQ(run.out.find("completed."), std::string::npos) << run.out;
    EXPECT_EQ(logLines(kq.log()).back(), "WRDD 1.") << "no later step ran";
  }
  {
    SCOPED_TRACE("II_SIM_FAIL_STEP fails the step it names, at the location it names");
    kq.writeTemplate(kRestoreLines);
    ASSERT_EQ(setVariable("KQ", "II_SIM_FAIL_STEP", "PRDD:2"), "");
    ProcessResult run = kq.run("rollforwarddb twoloc #c -j");
    EXPECT_EQ(run.exitCode, 1u) << run.out << run.err;
    EXPECT_NE(run.err.find("PRDD:2"), std::string::npos) << run.err;
    EXPECT_EQ(logLines(kq.log()).back(), "WDDD 2 " + kq.folder2()) << "location 2 got no further";
    ASSERT_EQ(setVariable("KQ", "II_SIM_FAIL_STEP", ""), "");
  }
  ASSERT_TRUE(SetEnvironmentVariableA("II_CKTMPL_FILE", nullptr));
}

JournalTime localTime(int day, int hour, int minute) {
  JournalTime time;
  time.relative = false;
  time.year = 2026;
  time.month = 1;
  time.day = day;
  time.hour = hour;
  time.minute = minute;
  return time;
}

// The journal records that ingsim journal adds carry their times; a roll forward with an end
// time applies them up to that time and reports the ones after it as not applied.
TEST(Rollforwarddb, EndTimeLeavesTheLaterJournalRecordsUnapplied) {
  CkpInstallation ke("KE");
  ASSERT_EQ(ke.create(/*journalFiles=*/2), "");
  ASSERT_TRUE(SetEnvironmentVariableA("II_CKTMPL_FILE", ke.templatePath().c_str()));
  JournalOptions journal;
  journal.database = "twoloc";
  journal.times = {localTime(5, 10, 0), localTime(5, 10, 30), localTime(5, 11, 0)};
  std::string report;
  ASSERT_EQ(addJournal("KE", journal, &report), "");
  const std::string third = journalFolder(ke.install().root(), "twoloc") + "\\j0000003.jnl";
  EXPECT_EQ(report.find(third + ": 3 journal records, journal sequence 3\n"), 0u) << report;
  EXPECT_NE(report.find("  record 2 at 2026-01-05 10:30:00\n"), std::string::npos) << report;
  EXPECT_NE(ke.run("infodb twoloc").out.find("Journal sequence : " + std::string(16, ' ') + "3"),
            std::string::npos)
      << "the new file is counted";
  {
    SCOPED_TRACE("the end time of record 2: records 1 and 2 applied, record 3 not");
    ke.writeTemplate(kRestoreLines);
    ProcessResult run = ke.run("rollforwarddb twoloc #c3 -e05-jan-2026:10:30:00");
    EXPECT_EQ(run.exitCode, 0u) << run.out << run.err;
    EXPECT_NE(run.out.find("RFP: Applied journal files j0000001.jnl to j0000003.jnl up to "
                           "05-jan-2026:10:30:00\r\n"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("RFP: 2 timed journal records applied\r\n"), std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("RFP: 1 journal record after the end time 05-jan-2026:10:30:00 not "
                           "applied, from record 3 of j0000003.jnl (written "
                           "05-Jan-2026:11:00:00)\r\n"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("completed."), std::string::npos) << run.out;
  }
  {
    SCOPED_TRACE("an end time before every timed record: the sample journals only");
    ke.writeTemplate(kRestoreLines);
    ProcessResult run = ke.run("rollforwarddb twoloc #c3 -e04-Jan-2026:23:59:59");
    EXPECT_EQ(run.exitCode, 0u) << run.out << run.err;
    EXPECT_NE(run.out.find("to j0000002.jnl up to 04-Jan-2026:23:59:59\r\n"), std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("RFP: 3 journal records after the end time"), std::string::npos)
        << run.out;
    EXPECT_EQ(run.out.find("timed journal records applied"), std::string::npos) << run.out;
  }
  {
    SCOPED_TRACE("no end time: every record");
    ke.writeTemplate(kRestoreLines);
    ProcessResult run = ke.run("rollforwarddb twoloc #c3");
    EXPECT_EQ(run.exitCode, 0u) << run.out << run.err;
    EXPECT_NE(run.out.find("to j0000003.jnl\r\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("RFP: 3 timed journal records applied"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("not applied"), std::string::npos) << run.out;
  }
  {
    SCOPED_TRACE("a damaged timed journal fails before anything runs");
    std::string bytes;
    ASSERT_EQ(readWholeFile(third, &bytes), "");
    ASSERT_EQ(writeTextFile(third, bytes.substr(0, bytes.size() - 1)), "");
    ke.writeTemplate(kRestoreLines);
    ProcessResult run = ke.run("rollforwarddb twoloc #c3 -e05-Jan-2026:10:30:00");
    EXPECT_EQ(run.exitCode, 1u) << run.out << run.err;
    EXPECT_EQ(messageId(run.err), "E_DM1314_RFP_BAD_JOURNAL");
    EXPECT_NE(run.err.find("j0000003.jnl is damaged: record 3 of 512 bytes is cut off"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(joined(logLines(ke.log())), "<no log>\n");
  }
  {
    SCOPED_TRACE("ingsim journal refuses times that go back and databases without journals");
    journal.times = {localTime(6, 10, 0), localTime(6, 9, 59)};
    EXPECT_NE(addJournal("KE", journal, &report).find("is older than the record before it"),
              std::string::npos);
    EXPECT_FALSE(exists(journalFolder(ke.install().root(), "twoloc") + "\\j0000004.jnl"));
    DatabaseOptions plain;
    plain.name = "plain";
    ASSERT_EQ(addDatabase("KE", plain), "");
    journal.database = "plain";
    journal.times = {localTime(6, 10, 0)};
    EXPECT_EQ(addJournal("KE", journal, &report), "database plain is not journaled");
  }
  ASSERT_TRUE(SetEnvironmentVariableA("II_CKTMPL_FILE", nullptr));
}

TEST(Ckpdb, ReportsFailuresAsIngresDoes) {
  CkpInstallation kr("KR");
  ASSERT_EQ(kr.create(), "");
  ASSERT_TRUE(SetEnvironmentVariableA("II_CKTMPL_FILE", kr.templatePath().c_str()));
  kr.writeTemplate(kCheckpointLines);
  struct Case {
    const char* arguments;
    const char* messageId;
  };
  const Case refused[] = {
      {"ckpdb nosuchdb", "E_DM0053_NONEXISTENT_DB"},
      {"rollforwarddb nosuchdb #c1 +j", "E_DM0053_NONEXISTENT_DB"},
      {"ckpdb twoloc -x", "E_DM1004_CKP_BAD_FLAG"},
      {"ckpdb twoloc +j", "E_DM1004_CKP_BAD_FLAG"},
      {"ckpdb", "E_DM1009_CKP_NO_DATABASE"},
      {"rollforwarddb twoloc #c1 -e2026-12-08 +j", "E_DM1004_RFP_BAD_FLAG"},
      {"rollforwarddb twoloc -d", "E_DM1004_RFP_BAD_FLAG"},
  };
  for (const Case& c : refused) {
    ProcessResult run = kr.run(c.arguments);
    EXPECT_EQ(run.exitCode, 1u) << c.arguments << ": " << run.out << run.err;
    EXPECT_EQ(messageId(run.err), c.messageId) << c.arguments;
    EXPECT_EQ(joined(logLines(kr.log())), "<no log>\n") << c.arguments << " ran template lines";
  }
  {
    SCOPED_TRACE("a template without a line a step needs");
    std::vector<std::string> lines = kCheckpointLines;
    lines.erase(lines.begin() + 2);  // PSDD
    kr.writeTemplate(lines);
    ProcessResult run = kr.run("ckpdb twoloc");
    EXPECT_EQ(run.exitCode, 1u) << run.out << run.err;
    EXPECT_EQ(messageId(run.err), "E_DM1104_CKP_TEMPLATE_LINE");
    EXPECT_NE(run.err.find("PSDD"), std::string::npos) << run.err;
    EXPECT_EQ(joined(logLines(kr.log())), "<no log>\n");
  }
  {
    SCOPED_TRACE("a command that ends with a non-zero exit code");
    std::vector<std::string> lines = kCheckpointLines;
    lines[3] = "WSDD:\t cmd /c echo WSDD %C.>>LOG & cmd /c exit 3";
    kr.writeTemplate(lines);
    ProcessResult run = kr.run("ckpdb twoloc");
    EXPECT_EQ(run.exitCode, 1u) << run.out << run.err;
    EXPECT_EQ(messageId(run.err), "E_DM1105_CKP_COMMAND_FAILED");
    EXPECT_NE(run.err.find("exit code 3"), std::string::npos) << run.err;
    EXPECT_EQ(joined(logLines(kr.log())), "BSDD 2.\nPSDD 1 of 2.\nWSDD 1.\n")
        << "the run must stop at the failed command";
    ProcessResult report = kr.run("infodb twoloc");
    EXPECT_NE(report.out.find("Checkpoint sequence :          3"), std::string::npos)
        << "a failed checkpoint advanced the sequence: " << report.out;
  }
  {
    SCOPED_TRACE("a template that cannot be read");
    ASSERT_TRUE(SetEnvironmentVariableA("II_CKTMPL_FILE", "C:\\ferrytest\\KR\\none.def"));
    ProcessResult run = kr.run("rollforwarddb twoloc #c3 -j");
    EXPECT_EQ(run.exitCode, 1u) << run.out << run.err;
    EXPECT_EQ(messageId(run.err), "E_DM1103_CKP_TEMPLATE_OPEN");
  }
  ASSERT_TRUE(SetEnvironmentVariableA("II_CKTMPL_FILE", nullptr));
}

}  // namespace
}  // namespace ingsim::test
