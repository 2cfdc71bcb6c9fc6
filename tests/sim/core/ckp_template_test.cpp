#include "core/ckp_template.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ingsim::core {
namespace {

std::string joined(const std::vector<std::string>& parts) {
  std::string out;
  for (const std::string& part : parts) out += "[" + part + "]";
  return out;
}

TEST(CkpTemplate, ParsesLinesAsTheUtilitiesReadThem) {
  const std::string text =
      "BSDD:\t echo Beginning checkpoint of %N location(s) \r\n"
      "# a note, not a line\r\n"
      "\r\n"
      "WJDA:\r\n"
      "PSTT: \t echo executing checkpoint\r\n"
      "WS1D: not a code\n"
      "ESDD:echo tight\n"
      "EEDE:\t echo done with disk operations";
  std::vector<TemplateLine> lines = parseTemplate(text);
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0].code, "BSDD");
  EXPECT_EQ(lines[0].command, "\t echo Beginning checkpoint of %N location(s) ");
  EXPECT_EQ(lines[0].lineNumber, 1);
  {
    SCOPED_TRACE("a code with nothing after the colon runs nothing");
    EXPECT_EQ(lines[1].code, "WJDA");
    EXPECT_EQ(lines[1].command, "");
    EXPECT_EQ(lines[1].lineNumber, 4);
    EXPECT_EQ(joined(splitCommand(lines[1].command)), "");
  }
  EXPECT_EQ(lines[2].command, " \t echo executing checkpoint");
  {
    SCOPED_TRACE("a command right after the colon keeps its first letter");
    EXPECT_EQ(lines[3].code, "ESDD");
    EXPECT_EQ(joined(splitCommand(lines[3].command)), "[echo tight]");
  }
  {
    SCOPED_TRACE("the last line needs no line end");
    EXPECT_EQ(lines[4].code, "EEDE");
    EXPECT_EQ(lines[4].lineNumber, 8);
  }
  TemplateLine line;
  EXPECT_FALSE(parseTemplateLine("BSD:x", &line));
  EXPECT_FALSE(parseTemplateLine("BSDDx echo", &line));
  EXPECT_FALSE(parseTemplateLine("", &line));
}

TEST(CkpTemplate, ChoosesTheLineOfAStep) {
  std::vector<TemplateLine> lines = parseTemplate(
      "ESTD:\t echo tape end\n"
      "ESDD:\t echo checkpoint end\n"
      "EEDE:\t echo done with disk operations\n"
      "ERDD:\t echo restore end\n");
  auto chosen = [&lines](const char* wanted) {
    const TemplateLine* line = findStepLine(lines, wanted);
    return line == nullptr ? std::string("<none>") : line->code;
  };
  {
    SCOPED_TRACE("an exact code wins over an earlier wildcard line");
    EXPECT_EQ(chosen("ESDD"), "ESDD");
    EXPECT_EQ(chosen("EEDE"), "EEDE");
    EXPECT_EQ(chosen("ERDD"), "ERDD");
  }
  {
    SCOPED_TRACE("without an exact line the first line matching with 'E' wildcards serves");
    EXPECT_EQ(chosen("EJDA"), "EEDE");
    EXPECT_EQ(chosen("EUDD"), "EEDE");
    EXPECT_EQ(chosen("ERTD"), "<none>") << "the T of ERTD is matched by no line";
    EXPECT_EQ(chosen("BSDD"), "<none>") << "the first letter is never a wildcard";
  }
  EXPECT_TRUE(codeMatches("EEDE", "ESDD"));
  EXPECT_TRUE(codeMatches("WEEE", "WSDD"));
  EXPECT_FALSE(codeMatches("ESDD", "EEDE")) << "only the line's E is a wildcard";
  EXPECT_FALSE(codeMatches("EEDE", "FSDD"));
  EXPECT_FALSE(codeMatches("EED", "EEDE"));
}

TEST(CkpTemplate, FillsTheCodes) {
  CodeValues values;
  values.locationCount = 2;
  values.locationNumber = 1;
  values.directory = "C:\\ii\\ingres\\data\\default\\db";
  values.checkpointFile = "c0004001.ckp";
  EXPECT_EQ(substituteCodes("siphon -P \"%D\" -C %F -N x %C/%N", values),
            "siphon -P \"C:\\ii\\ingres\\data\\default\\db\" -C c0004001.ckp -N x 1/2");
  EXPECT_EQ(substituteCodes("100%% %X|%Q|%", values), "100% |%Q|%")
      << "%% gives one percent sign, unknown codes and a final % stay";
  EXPECT_EQ(substituteCodes("%%N", values), "%N") << "the code after %% is not filled again";
}

TEST(CkpTemplate, SplitsCommandsAsTheShellPartsRun) {
  EXPECT_EQ(
      joined(splitCommand(" \t echo deleting files in location C:\\d & del /Q \"C:\\d\\*.*\" ")),
      "[echo deleting files in location C:\\d][del /Q \"C:\\d\\*.*\"]");
  EXPECT_EQ(joined(splitCommand("cmd /c \"echo a & echo b\"&&echo c")),
            "[cmd /c \"echo a & echo b\"][echo c]")
      << "an '&' inside quotes stays; '&&' leaves an empty part that is dropped";
  EXPECT_EQ(joined(splitCommand("\"C:\\prog\\x.exe\" -a")), "[C:\\prog\\x.exe\" -a]")
      << "a leading quote is not a letter or digit and falls away, as Ingres drops it";
  EXPECT_EQ(joined(splitCommand("  & \t &  ")), "");
  EXPECT_EQ(joined(splitCommand("9lives\r")), "[9lives]");

  std::string text = "unchanged";
  EXPECT_TRUE(isEchoPart("echo done with disk operations", &text));
  EXPECT_EQ(text, "done with disk operations");
  EXPECT_TRUE(isEchoPart("ECHO x", &text));
  EXPECT_EQ(text, "x");
  EXPECT_FALSE(isEchoPart("echo", &text));
  EXPECT_FALSE(isEchoPart("echoes x", &text));

  EXPECT_TRUE(isShellBuiltin("del /Q \"C:\\d\\*.*\""));
  EXPECT_TRUE(isShellBuiltin("MKDIR x"));
  EXPECT_TRUE(isShellBuiltin("dir"));
  EXPECT_FALSE(isShellBuiltin("cmd /c echo x"));
  EXPECT_FALSE(isShellBuiltin("del.exe x")) << "a program named like a built-in is a program";
  EXPECT_FALSE(isShellBuiltin("deltree x"));
}

TEST(CkpTemplate, NamesCheckpointFiles) {
  EXPECT_EQ(checkpointFileName(4, 1), "c0004001.ckp");
  EXPECT_EQ(checkpointFileName(9999, 999), "c9999999.ckp");
  EXPECT_EQ(checkpointFileName(10000, 1), "");
  EXPECT_EQ(checkpointFileName(1, 1000), "");
  EXPECT_EQ(checkpointFileName(1, 0), "");
  EXPECT_EQ(checkpointNumberOfFile("c0004001.ckp"), 4);
  EXPECT_EQ(checkpointNumberOfFile("C0123002.CKP"), 123);
  EXPECT_EQ(checkpointNumberOfFile("c0004001.ckpx"), -1);
  EXPECT_EQ(checkpointNumberOfFile("c00a4001.ckp"), -1);
  EXPECT_EQ(checkpointNumberOfFile("j0000001.jnl"), -1);
}

}  // namespace
}  // namespace ingsim::core
