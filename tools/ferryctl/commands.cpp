#include "commands.h"

#include <cstdio>
#include <string>

#include "core/output_format.h"

namespace ferry::ctl {
namespace {

void printLine(FILE* stream, const std::string& line) {
  std::fprintf(stream, "%s\n", line.c_str());
}

// The agent's text for `code`, asked without a connection (id 0), in the buffer size the
// interface names for that kind of code. *result receives what DSAGetError returned.
std::string errorText(const AgentEntryPoints& agent, uint32_t code, DSA_RESULT* result) {
  if (isSystemCode(code)) {
    char buffer[kSystemTextBufferSize] = {};
    uint32_t length = 0;  // not written for system codes
    *result = agent.getError(/*connectionId=*/0, code, buffer, &length);
    return systemTextFromBuffer(buffer, sizeof buffer);
  }
  char buffer[kAgentTextBufferSize] = {};
  uint32_t length = 0;
  *result = agent.getError(/*connectionId=*/0, code, buffer, &length);
  return agentTextFromBuffer(buffer, sizeof buffer, length);
}

// "ferryctl: <what> failed: <code>: <text>" on standard error.
void printAgentFailure(const AgentEntryPoints& agent, const char* what, DSA_RESULT code) {
  DSA_RESULT textResult = DSA_OK;
  std::string text = errorText(agent, code, &textResult);
  std::string line = std::string("ferryctl: ") + what + " failed: " + codeAndText(code, text);
  if (textResult != DSA_OK) line += " (DSAGetError returned " + std::to_string(textResult) + ")";
  printLine(stderr, line);
}

}  // namespace

ExitCode runConnect(const AgentEntryPoints& agent, const ConnectArguments& arguments) {
  uint32_t id = 0;
  DSA_RESULT result =
      agent.connectAgent(/*reserved=*/0, arguments.instance.c_str(), arguments.account.c_str(),
                         arguments.password.c_str(), &id);
  if (result != DSA_OK) {
    printAgentFailure(agent, "DSAConnectAgent", result);
    return exitCodeForResult(result);
  }
  printLine(stdout, connectedLine(id));
  std::fflush(stdout);
  result = agent.disconnectAgent(id);
  if (result != DSA_OK) {
    printAgentFailure(agent, "DSADisconnectAgent", result);
    return exitCodeForResult(result);
  }
  printLine(stdout, "disconnected");
  return ExitCode::kSuccess;
}

ExitCode runError(const AgentEntryPoints& agent, uint32_t code) {
  DSA_RESULT result = DSA_OK;
  std::string text = errorText(agent, code, &result);
  if (result != DSA_OK) {
    printAgentFailure(agent, "DSAGetError", result);
    return exitCodeForResult(result);
  }
  printLine(stdout, codeAndText(code, text));
  return ExitCode::kSuccess;
}

}  // namespace ferry::ctl
