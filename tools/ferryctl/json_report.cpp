#include "json_report.h"

#include <cstdio>
#include <optional>
#include <vector>

#include "agent_library.h"

namespace ferry::ctl {
namespace {

constexpr std::string_view kLinePrefix = "ferryctl: ";
constexpr std::string_view kWarningPrefix = "warning: ";

struct Failure {
  std::string message;
  std::string call;  // the agent's entry point, for an agent failure
  std::optional<uint32_t> code;
  std::string text;
  const char* codeKind = nullptr;  // "agent" or "system"
};

struct Report {
  bool active = false;
  std::string command;
  Json result;
  std::vector<std::string> messages;
  std::optional<Failure> failure;  // the first one
  Failure pending;                 // the code and text for the next failure line
  bool hasPending = false;
};

Report& report() {
  static Report instance;
  return instance;
}

}  // namespace

void startJsonReport(const std::string& command) {
  Report& r = report();
  r = Report{};
  r.active = true;
  r.command = command;
}

bool jsonReportActive() { return report().active; }

Json& jsonResult() { return report().result; }

void jsonLine(bool error, const std::string& line) {
  Report& r = report();
  if (!error) return;  // the result holds what the line said
  std::string message = line.starts_with(kLinePrefix) ? line.substr(kLinePrefix.size()) : line;
  r.messages.push_back(message);
  if (message.starts_with(kWarningPrefix)) return;
  if (!r.failure) {
    Failure failure = r.hasPending ? r.pending : Failure{};
    failure.message = message;
    r.failure = failure;
  }
  r.hasPending = false;
}

void jsonAgentFailure(const std::string& call, uint32_t code, const std::string& text) {
  Report& r = report();
  r.pending = Failure{"", call, code, text, "agent"};
  r.hasPending = true;
}

void jsonSystemError(DWORD error) {
  Report& r = report();
  r.pending = Failure{"", "", static_cast<uint32_t>(error), systemErrorText(error), "system"};
  r.hasPending = true;
}

const char* outcomeName(ExitCode code) {
  switch (code) {
    case ExitCode::kSuccess:
      return "success";
    case ExitCode::kAgentError:
      return "agent-error";
    case ExitCode::kUsage:
      return "usage";
    case ExitCode::kAgentLibrary:
      return "agent-library";
    case ExitCode::kArchive:
      return "archive";
    case ExitCode::kMismatch:
      return "mismatch";
  }
  return "unknown";
}

std::u16string ansiToUtf16(std::string_view bytes) {
  if (bytes.empty()) return {};
  const int size = static_cast<int>(bytes.size());
  const int units = MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, nullptr, 0);
  if (units <= 0) return latin1Decoder(bytes);  // text the code page cannot read: byte by byte
  std::u16string out(static_cast<size_t>(units), u'\0');
  MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, reinterpret_cast<wchar_t*>(out.data()), units);
  return out;
}

int finishJsonReport(ExitCode code) {
  Report& r = report();
  Json document = Json::object();
  document.set("command", r.command.empty() ? Json() : Json(r.command));
  document.set("exitCode", static_cast<int>(code));
  document.set("outcome", outcomeName(code));
  document.set("result", r.result);
  Json messages = Json::array();
  for (const std::string& message : r.messages) messages.push(message);
  document.set("messages", std::move(messages));
  if (code != ExitCode::kSuccess) {
    Json error = Json::object();
    const Failure failure = r.failure.value_or(Failure{"the command failed", "", {}, "", nullptr});
    error.set("message", failure.message);
    if (!failure.call.empty()) error.set("call", failure.call);
    if (failure.code) {
      error.set("code", *failure.code);
      error.set("codeKind", failure.codeKind);
      error.set("text", failure.text);
    }
    document.set("error", std::move(error));
  }
  std::fflush(stderr);
  std::fputs((document.serialize(ansiToUtf16) + "\n").c_str(), stdout);
  std::fflush(stdout);
  r.active = false;
  return static_cast<int>(code);
}

}  // namespace ferry::ctl
