#include "commands.h"

#include <cstdio>
#include <string>

#include "core/output_format.h"
#include "json_report.h"

namespace ferry::ctl {
namespace {

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

}  // namespace

void printLine(FILE* stream, const std::string& line) {
  if (jsonReportActive()) {
    jsonLine(stream == stderr, line);
    return;
  }
  std::fprintf(stream, "%s\n", line.c_str());
}

void printAgentFailure(const AgentEntryPoints& agent, const std::string& what, DSA_RESULT code) {
  DSA_RESULT textResult = DSA_OK;
  std::string text = errorText(agent, code, &textResult);
  std::string line = "ferryctl: " + what + " failed: " + codeAndText(code, text);
  if (textResult != DSA_OK) line += " (DSAGetError returned " + std::to_string(textResult) + ")";
  if (jsonReportActive()) jsonAgentFailure(what, code, text);
  std::fflush(stdout);  // the failure follows what was printed before it
  printLine(stderr, line);
}

DSA_RESULT AgentConnection::open(const ConnectArguments& arguments) {
  uint32_t id = 0;
  DSA_RESULT result =
      agent_.connectAgent(/*reserved=*/0, arguments.instance.c_str(), arguments.account.c_str(),
                          arguments.password.c_str(), &id);
  if (result != DSA_OK) {
    printAgentFailure(agent_, "DSAConnectAgent", result);
    return result;
  }
  id_ = id;
  return DSA_OK;
}

DSA_RESULT AgentConnection::close() {
  if (id_ == 0) return DSA_OK;
  DSA_RESULT result = agent_.disconnectAgent(id_);
  id_ = 0;
  if (result != DSA_OK) printAgentFailure(agent_, "DSADisconnectAgent", result);
  return result;
}

ExitCode runConnect(const AgentEntryPoints& agent, const ConnectArguments& arguments) {
  AgentConnection connection(agent);
  if (DSA_RESULT result = connection.open(arguments); result != DSA_OK) {
    return exitCodeForResult(result);
  }
  printLine(stdout, connectedLine(connection.id()));
  std::fflush(stdout);
  const uint32_t id = connection.id();
  if (DSA_RESULT result = connection.close(); result != DSA_OK) return exitCodeForResult(result);
  printLine(stdout, "disconnected");
  if (jsonReportActive()) {
    jsonResult() = Json::object().set("connectionId", id).set("disconnected", true);
  }
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
  if (jsonReportActive()) {
    Json answer = Json::object().set("code", code);
    if (isSystemCode(code)) answer.set("systemError", code - kSystemErrorBase);
    jsonResult() = answer.set("text", text);
  }
  return ExitCode::kSuccess;
}

}  // namespace ferry::ctl
