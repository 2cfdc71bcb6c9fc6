// Writes the agent's checkpoint template and makes it the template of every utility the agent
// starts afterwards.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "core/checkpoint_template.h"
#include "core/message_ids.h"
#include "library/agent_state.h"
#include "logs/activity_log.h"
#include "logs/trace.h"
#include "utility/utility_runs.h"

namespace ferry::agent {
namespace {

constexpr char kRoutine[] = "tmplmod_customize_template";
// A file held open by another writer is waited for: 100 opens 500 ms apart (about 49.5 s).
constexpr int kOpenAttempts = 100;
constexpr DWORD kOpenRetryMs = 500;

// Single line write errors are ignored: a short file fails the utility's own template check,
// which reports it in the run's error file.
void writeLines(std::FILE* file, int first, int last, const char* agentDirectory,
                const char* pipeName) {
  for (int number = first; number <= last; ++number) {
    const std::string line = checkpointTemplateLine(number, agentDirectory, pipeName);
    static_cast<void>(std::fwrite(line.data(), 1, line.size(), file));
  }
}

}  // namespace

int tmplmod_customize_template(ConnectionRecord* ci) {
  using namespace ferry::messages;
  trace(ci, "%s(): function called", kRoutine);
  char iiSystem[kUtilityPathSize];
  std::snprintf(iiSystem, sizeof iiSystem, "%s", ci->installation.iiSystem);
  trace(ci, "%s: II_SYSTEM = %s", kRoutine, iiSystem);

  char pipeName[kExtractorPipeNameSize];
  if (!buildExtractorPipeName(ci->installation.installationCode, ci->dbName, pipeName,
                              sizeof pipeName)) {
    trace(ci, "%s(): the pipe name for installation %s and database %s would exceed %d characters",
          kRoutine, ci->installation.installationCode, ci->dbName,
          static_cast<int>(kExtractorPipeNameSize - 1));
    return 1;
  }
  trace(ci, "tmplmod_customize_templated(): pipeName = %s", pipeName);

  char path[kUtilityPathSize];
  if (!buildTemplatePath(iiSystem, ci->installation.installationCode, path, sizeof path)) {
    trace(ci, "%s(): the template path under %s would exceed %d characters", kRoutine, iiSystem,
          static_cast<int>(kUtilityPathSize - 1));
    return 1;
  }
  trace(ci, "Ingres check point template file is: %s", path);

  std::FILE* file = nullptr;
  for (int attempt = 1;; ++attempt) {
    // Binary: the lines carry their CR LF endings already.
    file = std::fopen(path, "wb");
    if (file != nullptr || attempt == kOpenAttempts) break;
    Sleep(kOpenRetryMs);
  }
  if (file == nullptr) {
    trace(ci, "%s(): Cannot open the file %s.", kRoutine, path);
    Log_act(ci, kActivityTemplateNotOpened);
    Log_act(ci, kActivityAccountOrDestination);
    return 1;
  }

  // Room for the name, '=' and a path of 259 characters: the value is never cut.
  char assignment[sizeof "II_CKTMPL_FILE=" + kUtilityPathSize];
  std::snprintf(assignment, sizeof assignment, "II_CKTMPL_FILE=%s", path);
  // The process environment block is what the utilities inherit; the runtime's copy is kept in
  // step for code in this module that reads it through getenv.
  SetEnvironmentVariableA("II_CKTMPL_FILE", path);
  _putenv(assignment);

  std::setvbuf(file, nullptr, _IONBF, 0);
  writeLines(file, 1, kTemplateLinesBeforeSiphon, "", "");

  // The siphon lines name the agent directory in its short form so that the command needs no
  // quotes; without one the command starts with the backslash and siphon is not found, which
  // the utility reports.
  char shortDirectory[kUtilityPathSize] = "";
  DWORD length = GetShortPathNameA(agentDirectory(), shortDirectory, sizeof shortDirectory);
  if (length == 0 || length >= sizeof shortDirectory) shortDirectory[0] = '\0';
  writeLines(file, kTemplateLinesBeforeSiphon + 1, kTemplateLineCount, shortDirectory, pipeName);

  if (std::fclose(file) != 0) {
    trace(ci, "%s(): Cannot close the file \"%s\".", kRoutine, path);
    Log_act(ci, kActivityTemplateNotClosed);
    return 1;
  }
  trace(ci, "%s(): Successfully called", kRoutine);
  return 0;
}

}  // namespace ferry::agent
