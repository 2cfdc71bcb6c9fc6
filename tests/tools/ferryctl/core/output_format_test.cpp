// Reading the agent's texts out of the console's buffers, and the lines the console prints.
#include "core/output_format.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace ferry::ctl {
namespace {

TEST(CtlOutput, AgentTextStaysInsideLengthBufferAndNul) {
  char buffer[kAgentTextBufferSize + 8];
  std::memset(buffer, 'x', sizeof buffer);  // guard bytes after the 256 the agent may use
  std::memcpy(buffer, "Instance unknown", 16);
  EXPECT_EQ(agentTextFromBuffer(buffer, kAgentTextBufferSize, 16), "Instance unknown");
  EXPECT_EQ(agentTextFromBuffer(buffer, kAgentTextBufferSize, 8), "Instance");
  EXPECT_EQ(agentTextFromBuffer(buffer, kAgentTextBufferSize, 0), "");
  EXPECT_EQ(agentTextFromBuffer(buffer, kAgentTextBufferSize, 100000).size(), kAgentTextBufferSize)
      << "a length past the buffer is clipped to it";
  buffer[10] = '\0';
  EXPECT_EQ(agentTextFromBuffer(buffer, kAgentTextBufferSize, 16), "Instance u")
      << "a NUL before the length ends the text";
}

TEST(CtlOutput, SystemTextWithoutLineBreak) {
  char buffer[kSystemTextBufferSize + 8];
  std::memset(buffer, 'x', sizeof buffer);
  std::strcpy(buffer, "The system cannot find the file specified. \r\n");
  EXPECT_EQ(systemTextFromBuffer(buffer, kSystemTextBufferSize),
            "The system cannot find the file specified.");
  buffer[0] = '\0';
  EXPECT_EQ(systemTextFromBuffer(buffer, kSystemTextBufferSize), "");
  std::memset(buffer, 'y', kSystemTextBufferSize);
  EXPECT_EQ(systemTextFromBuffer(buffer, kSystemTextBufferSize).size(), kSystemTextBufferSize)
      << "an unterminated text ends at the buffer, not in the guard bytes";
}

TEST(CtlOutput, CodeKindsAndLines) {
  EXPECT_FALSE(isSystemCode(0));
  EXPECT_FALSE(isSystemCode(10000)) << "10000 is the agent's own last code";
  EXPECT_TRUE(isSystemCode(10001));
  EXPECT_EQ(codeAndText(18, "No such instance"), "18: No such instance");
  EXPECT_EQ(codeAndText(4711, ""), "4711: (no text)");
  EXPECT_EQ(loadFailureLine("C:\\x\\ferryman.dll", 126, "The module was not found.\r\n"),
            "cannot load agent library C:\\x\\ferryman.dll: error 126: The module was not found.");
  EXPECT_EQ(loadFailureLine("C:\\x.dll", 5, ""), "cannot load agent library C:\\x.dll: error 5");
  EXPECT_EQ(missingEntryPointLine("C:\\s.dll", "DSAConnectAgent", 127, "Not found."),
            "agent library C:\\s.dll lacks entry point DSAConnectAgent: error 127: Not found.");
}

TEST(CtlOutput, AgentBesideProgram) {
  EXPECT_EQ(besideProgram("C:\\bin\\ferryctl.exe", "ferryman.dll"), "C:\\bin\\ferryman.dll");
  EXPECT_EQ(besideProgram("C:/bin/ferryctl.exe", "ferryman.dll"), "C:/bin/ferryman.dll");
  EXPECT_EQ(besideProgram("C:\\a.b\\c/ferryctl.exe", "f.dll"), "C:\\a.b\\c/f.dll");
  EXPECT_EQ(besideProgram("ferryctl.exe", "ferryman.dll"), "ferryman.dll");
}

}  // namespace
}  // namespace ferry::ctl
