#include "core/utility_command.h"

#include <cstring>
#include <string>

namespace ferry::agent {
namespace {

const char* text(const char* value) { return value != nullptr ? value : ""; }

// Copies the finished line out, or "" with TooLong when it does not fit with its NUL.
CommandStatus deliver(const std::string& line, char* out, size_t size) {
  if (out == nullptr || size == 0) return CommandStatus::TooLong;
  if (line.size() >= size) {
    out[0] = '\0';
    return CommandStatus::TooLong;
  }
  std::memcpy(out, line.c_str(), line.size() + 1);
  return CommandStatus::Ok;
}

CommandStatus refuse(CommandStatus status, char* out, size_t size) {
  if (out != nullptr && size > 0) out[0] = '\0';
  return status;
}

// The quoted path of an installation's program: "\"<root>\ingres\bin\<program>\"".
std::string programPath(const char* root, const char* program) {
  std::string line = "\"";
  line += text(root);
  line += "\\ingres\\bin\\";
  line += program;
  line += "\"";
  return line;
}

}  // namespace

CommandStatus buildCkpdbCommand(const char* iiSystem, const char* dbName, uint32_t options,
                                char* out, size_t size) {
  std::string line = programPath(iiSystem, "ckpdb") + " ";
  line += text(dbName);
  if (options & kCkpdbVerbose) line += " -v";
  if (options & kCkpdbPurge) line += " -d";
  // Neither journaling bit has a flag: ckpdb leaves the database's journaling as it is.
  return deliver(line, out, size);
}

CommandStatus buildRollforwardCommand(const char* iiSystem, const char* dbName,
                                      const char* checkpointId, uint32_t options,
                                      const char* endTime, char* out, size_t size) {
  if (std::strlen(text(checkpointId)) > kCheckpointIdMaxLength) {
    return refuse(CommandStatus::CheckpointIdTooLong, out, size);
  }
  const bool withEndTime = (options & kRollEndTime) != 0;
  if (withEndTime && std::strlen(text(endTime)) > kEndTimeMaxLength) {
    return refuse(CommandStatus::EndTimeTooLong, out, size);
  }
  std::string line = programPath(iiSystem, "rollforwarddb") + " ";
  line += text(dbName);
  line += " #c";
  line += text(checkpointId);
  if (options & kRollVerbose) line += " -v";
  if (withEndTime) {
    line += " -e";
    line += text(endTime);
  }
  line += (options & kRollNotFromJournals) ? " -j" : " +j";
  return deliver(line, out, size);
}

CommandStatus buildIngsetenvCommand(const char* shortRoot, const char* templatePath, char* out,
                                    size_t size) {
  std::string line = programPath(shortRoot, "ingsetenv") + " II_CKTMPL_FILE \"";
  line += text(templatePath);
  line += "\"";
  return deliver(line, out, size);
}

CommandStatus buildIngunsetCommand(const char* shortRoot, char* out, size_t size) {
  return deliver(programPath(shortRoot, "ingunset") + " II_CKTMPL_FILE", out, size);
}

CommandStatus buildInfodbCommand(const char* iiSystem, const char* dbName, char* out, size_t size) {
  return deliver(programPath(iiSystem, "infodb") + " " + text(dbName), out, size);
}

CommandStatus buildInfodbListCommand(const char* iiSystem, const char* loginName, char* out,
                                     size_t size) {
  return deliver(programPath(iiSystem, "infodb") + " -u" + text(loginName), out, size);
}

CommandStatus buildIngprenvCommand(const char* iiSystem, const char* name, char* out, size_t size) {
  std::string line = programPath(iiSystem, "ingprenv");
  if (name != nullptr) {
    line += " ";
    line += name;
  }
  return deliver(line, out, size);
}

namespace {

// "<directory>\<stem><installationCode><dbName>", the part every output file name shares.
std::string outputPathStem(const char* agentDirectory, const char* stem,
                           const char* installationCode, const char* dbName) {
  std::string path = text(agentDirectory);
  path += "\\";
  path += text(stem);
  path += text(installationCode);
  path += text(dbName);
  return path;
}

}  // namespace

bool buildUtilityOutputPath(const char* agentDirectory, const char* stem,
                            const char* installationCode, const char* dbName, char* out,
                            size_t size) {
  const std::string path = outputPathStem(agentDirectory, stem, installationCode, dbName) + ".out";
  return deliver(path, out, size) == CommandStatus::Ok;
}

bool buildCapturedOutputPath(const char* agentDirectory, const char* stem,
                             const char* installationCode, const char* dbName, uint32_t processId,
                             uint32_t sequence, char* out, size_t size) {
  const std::string path = outputPathStem(agentDirectory, stem, installationCode, dbName) + "-" +
                           std::to_string(processId) + "-" + std::to_string(sequence) + ".out";
  return deliver(path, out, size) == CommandStatus::Ok;
}

}  // namespace ferry::agent
