// The simulated utilities run as processes from an installation's ingres\bin, as the agent runs
// them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ingsim/installation.h"
#include "scoped_installation.h"
#include "support/child_role.h"
#include "support/win_process.h"

namespace ingsim::test {
namespace {

using ferry::test::ProcessResult;
using ferry::test::runProcess;

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    out.push_back(line);
  }
  return out;
}

std::string lineStartingWith(const std::string& text, const std::string& prefix) {
  for (const std::string& line : lines(text)) {
    if (line.compare(0, prefix.size(), prefix) == 0) return line;
  }
  return "<none>";
}

// The agent's reading: after "----Journal information", the first "Journal sequence :" line's
// third ':' field past 2 characters and blanks.
int agentJournalSequence(const std::string& report) {
  bool inSection = false;
  for (const std::string& line : lines(report)) {
    if (!inSection) {
      inSection = line.compare(0, 23, "----Journal information") == 0;
    } else if (line.find("Journal sequence :") != std::string::npos) {
      size_t second = line.find(':', line.find(':') + 1);
      std::string third = line.substr(second + 1).substr(2);
      return std::atoi(third.c_str() + third.find_first_not_of(' '));
    }
  }
  return -1;
}

// "name;~JOURNAL OF DATABASE name;..." as the agent builds it from "infodb -u", or "error".
std::string agentDatabaseList(const std::string& report) {
  std::string current, out;
  for (const std::string& line : lines(report)) {
    if ((line.size() > 26 && line[25] == 'E' && line[26] == '_') ||
        line.compare(0, 5, "ERROR") == 0) {
      return "error";
    }
    if (line.compare(0, 16, "    Database : (") == 0) {
      current = line.substr(16, line.find(',', 16) - 16);
      out += current + ";";
    } else if (line.compare(0, 41, "               The Database is Journaled.") == 0) {
      out += "~JOURNAL OF DATABASE " + current + ";";
    }
  }
  return out;
}

TEST(Infodb, ReportsForTheAgent) {
  ScopedInstallation install("TUA");
  ASSERT_EQ(createInstallation(install.options()), "");
  DatabaseOptions journaled;
  journaled.name = "jdb";
  journaled.journaled = true;
  journaled.journalFiles = 5;
  journaled.journalFileSize = 16;
  journaled.checkpointSequence = 2;
  ASSERT_EQ(addDatabase("TUA", journaled), "");
  DatabaseOptions plain;
  plain.name = "pdb";
  plain.owner = "bob";
  ASSERT_EQ(addDatabase("TUA", plain), "");
  const std::string infodb = install.bin() + "\\infodb";
  {
    SCOPED_TRACE("journaled database");
    ProcessResult run = runProcess(infodb + " jdb");
    EXPECT_EQ(run.exitCode, 0u) << run.out;
    EXPECT_EQ(lineStartingWith(run.out, "    Checkpoint sequence :"),
              "    Checkpoint sequence :          2    Journal sequence :                 5")
        << run.out;
    EXPECT_EQ(agentJournalSequence(run.out), 5) << run.out;
    EXPECT_EQ(lineStartingWith(run.out, "    Database : ("),
              "    Database : (jdb,ingres)  ID : 0x00000002  Default collation : udefault");
    EXPECT_EQ(lineStartingWith(run.out, "               The Database is Journaled."),
              "               The Database is Journaled.");
  }
  {
    SCOPED_TRACE("non-journaled database");
    ProcessResult run = runProcess(infodb + " pdb");
    EXPECT_EQ(lineStartingWith(run.out, "    Checkpoint sequence :"),
              "    Checkpoint sequence :          0    Journal sequence :                 0")
        << run.out;
    EXPECT_EQ(lineStartingWith(run.out, "               The Database is"), "<none>") << run.out;
    EXPECT_NE(run.out.find(dataFolder(install.root(), "pdb")), std::string::npos) << run.out;
  }
  {
    SCOPED_TRACE("every database for a user, quoted program path");
    ProcessResult run = runProcess("\"" + infodb + "\" -uingres");
    EXPECT_EQ(run.exitCode, 0u) << run.out;
    EXPECT_EQ(agentDatabaseList(run.out), "iidbdb;jdb;~JOURNAL OF DATABASE jdb;pdb;") << run.out;
  }
  {
    SCOPED_TRACE("unknown database");
    ProcessResult run = runProcess(infodb + " nosuchdb");
    EXPECT_NE(run.exitCode, 0u);
    std::string line = lines(run.out).empty() ? "" : lines(run.out)[0];
    EXPECT_EQ(line.substr(25, 2), "E_") << line;
    EXPECT_NE(line.find("nosuchdb"), std::string::npos) << line;
    EXPECT_EQ(agentDatabaseList(runProcess(infodb + " -uingres nosuchdb").out), "error");
  }
  {
    SCOPED_TRACE("injected failures");
    ASSERT_EQ(setVariable("TUA", "II_SIM_INFODB_FAILURE", "ERROR"), "");
    ProcessResult run = runProcess(infodb + " -uingres");
    EXPECT_EQ(run.out.compare(0, 5, "ERROR"), 0) << run.out;
    ASSERT_EQ(setVariable("TUA", "II_SIM_INFODB_FAILURE", "E_"), "");
    run = runProcess(infodb + " -uingres");
    EXPECT_EQ(run.out.substr(25, 2), "E_") << run.out;
  }
  {
    SCOPED_TRACE("run from outside the installation: II_SYSTEM decides");
    ASSERT_TRUE(SetEnvironmentVariableA("II_SYSTEM", install.root().c_str()));
    ProcessResult run =
        runProcess("\"" + ferry::test::binDir() + "\\ingprenv.exe\" II_INSTALLATION");
    SetEnvironmentVariableA("II_SYSTEM", nullptr);
    EXPECT_EQ(run.out, "TUA\r\n") << run.err;
    run = runProcess("\"" + ferry::test::binDir() + "\\ingprenv.exe\" II_INSTALLATION");
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.exitCode, 0u);
    EXPECT_NE(run.err, "") << "no installation must be reported on standard error";
  }
}

TEST(Ingprenv, SetPrintUnset) {
  ScopedInstallation install("TUB");
  ASSERT_EQ(createInstallation(install.options()), "");
  const std::string bin = install.bin();
  {
    SCOPED_TRACE("all variables");
    ProcessResult run = runProcess("\"" + bin + "\\ingprenv\"");
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    std::vector<std::string> all = lines(run.out);
    EXPECT_GE(all.size(), 5u) << run.out;
    for (const std::string& line : all) EXPECT_NE(line.find('='), std::string::npos) << line;
    EXPECT_EQ(lineStartingWith(run.out, "II_INSTALLATION="), "II_INSTALLATION=TUB") << run.out;
  }
  {
    SCOPED_TRACE("one variable; none when unset");
    EXPECT_EQ(runProcess(bin + "\\ingprenv II_DATABASE").out, install.root() + "\r\n");
    ProcessResult run = runProcess(bin + "\\ingprenv II_CKTMPL_FILE");
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.exitCode, 0u);
  }
  {
    SCOPED_TRACE("ingsetenv through the 8.3 root, as the agent calls it");
    char shortRoot[MAX_PATH];
    DWORD n = GetShortPathNameA(install.root().c_str(), shortRoot, sizeof shortRoot);
    ASSERT_GT(n, 0u);
    const std::string value = install.root() + "\\ingres\\files\\htbtmplTUB.def";
    ProcessResult run = runProcess(std::string(shortRoot) +
                                   "\\ingres\\bin\\ingsetenv II_CKTMPL_FILE \"" + value + "\"");
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(runProcess(bin + "\\ingprenv II_CKTMPL_FILE").out, value + "\r\n");
    std::string table = readFile(install.root() + "\\ingres\\files\\symbol.tbl");
    EXPECT_EQ(table.size() % 256, 0u) << table.size();
    EXPECT_NE(table.find("II_CKTMPL_FILE\t" + value + " "), std::string::npos);
    run = runProcess(std::string(shortRoot) + "\\ingres\\bin\\ingunset II_CKTMPL_FILE");
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(runProcess(bin + "\\ingprenv II_CKTMPL_FILE").out, "");
    EXPECT_EQ(runProcess(bin + "\\ingunset II_CKTMPL_FILE").exitCode, 0u) << "unset twice is fine";
  }
  {
    SCOPED_TRACE("errors go to standard error");
    const std::string calls[] = {bin + "\\ingsetenv ONLY_NAME", bin + "\\ingsetenv 9BAD x",
                                 bin + "\\ingsetenv LONG " + std::string(300, 'v'),
                                 bin + "\\ingunset", bin + "\\ingprenv A B"};
    for (const std::string& call : calls) {
      ProcessResult run = runProcess(call);
      EXPECT_NE(run.exitCode, 0u) << call;
      EXPECT_EQ(run.out, "") << call;
      EXPECT_NE(run.err, "") << call;
    }
    EXPECT_EQ(runProcess(bin + "\\ingprenv LONG").out, "");
  }
}

// Sets `count` variables named <prefix><n>, one update each.
FERRY_CHILD_ROLE(symbol_writer) {
  if (argc < 3) return 100;
  for (int i = 0; i < std::atoi(argv[2]); ++i) {
    if (!setVariable(argv[0], argv[1] + std::to_string(i), "value" + std::to_string(i)).empty()) {
      return 1;
    }
  }
  return 0;
}

TEST(SymbolTableFile, ConcurrentWritersLoseNothing) {
  ScopedInstallation install("TUC");
  ASSERT_EQ(createInstallation(install.options()), "");
  const int kCount = 300;
  std::vector<ProcessResult> results(3);
  std::vector<std::thread> runs;
  for (int child = 0; child < 3; ++child) {
    runs.emplace_back([&, child] {
      results[child] =
          runProcess("\"" + ferry::test::selfPath() + "\" --child symbol_writer TUC W" +
                     std::to_string(child) + "_ " + std::to_string(kCount));
    });
  }
  for (std::thread& t : runs) t.join();
  for (int child = 0; child < 3; ++child) EXPECT_EQ(results[child].exitCode, 0u) << child;
  ProcessResult all = runProcess(install.bin() + "\\ingprenv");
  int lost = 0;
  std::string firstLost;
  for (int child = 0; child < 3; ++child) {
    for (int i = 0; i < kCount; ++i) {
      std::string line =
          "W" + std::to_string(child) + "_" + std::to_string(i) + "=value" + std::to_string(i);
      if (lineStartingWith(all.out, line) == "<none>") {
        if (lost++ == 0) firstLost = line;
      }
    }
  }
  EXPECT_EQ(lost, 0) << "updates lost, the first: " << firstLost;
}

}  // namespace
}  // namespace ingsim::test
