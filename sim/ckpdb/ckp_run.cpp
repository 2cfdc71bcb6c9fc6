#include "ckp_run.h"

#include <windows.h>

#include <cstdio>
#include <ctime>

#include "catalog/catalog_schema.h"
#include "core/infodb_report.h"
#include "core/names.h"
#include "ingsim/catalog_store.h"
#include "ingsim/installation.h"
#include "ingsim/installation_internal.h"
#include "ingsim/symbol_file.h"
#include "ingsim/win_util.h"
#include "locate.h"

namespace ingsim::ckp {
namespace {

// The catalog library's data-location query, character for character, so that the locations
// come in the order in which the agent lists them.
constexpr char kDataLocationQueryPrefix[] =
    "select distinct location_area from iilocation_info where location_name in \t\t\t(select "
    "iilocation_info.location_name from iilocation_info  , iiextend_info where  "
    "iilocation_info.data_usage='Y' and  iilocation_info.location_name "
    "=iiextend_info.location_name and iiextend_info.database_name='";
constexpr char kDataLocationQuerySuffix[] = "')";

constexpr int kStartAttempts = 5;
constexpr DWORD kStartRetryMs = 200;

std::tm localNow() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_s(&local, &now);
  return local;
}

Failure catalogFailure(const std::string& text) { return {"E_DM0133_ERROR_ACCESSING_DB", text}; }

std::string environmentValue(const char* name) {
  char value[1024];
  DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
  return n > 0 && n < sizeof value ? std::string(value, n) : "";
}

// The standard handles go to the commands, which write into the same files as the utility.
void makeInheritable(DWORD which) {
  HANDLE handle = GetStdHandle(which);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
  // A console or pipe handle that refuses the flag is still inherited by console children.
  SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
}

Failure runPart(const std::string& part, bool verbose, DWORD* exitCode) {
  std::string commandLine = core::isShellBuiltin(part) ? "cmd.exe /c " + part : part;
  if (verbose) progress("running: " + commandLine);
  std::fflush(stdout);
  makeInheritable(STD_OUTPUT_HANDLE);
  makeInheritable(STD_ERROR_HANDLE);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  UniqueProcessInformation process;
  std::vector<char> buffer(commandLine.begin(), commandLine.end());
  buffer.push_back('\0');
  // Wine 8 now and then fails a start with ERROR_INTERNAL_ERROR while other processes start at
  // the same moment; a start that fails for a real reason fails the same way every time.
  for (int attempt = 1;; ++attempt) {
    if (CreateProcessA(/*application=*/nullptr, buffer.data(), /*process security=*/nullptr,
                       /*thread security=*/nullptr, /*inherit handles=*/TRUE, /*flags=*/0,
                       /*environment=*/nullptr, /*current directory=*/nullptr, &startup,
                       process.put())) {
      break;
    }
    const DWORD error = GetLastError();
    if (error != ERROR_INTERNAL_ERROR || attempt == kStartAttempts) {
      return {"E_DM1106_CKP_COMMAND_START",
              win32Error("starting the template command '" + part + "'", error)};
    }
    Sleep(kStartRetryMs);
  }
  WaitForSingleObject(process.process(), INFINITE);
  if (!GetExitCodeProcess(process.process(), exitCode)) {
    return {"E_DM1106_CKP_COMMAND_START",
            win32Error("reading the exit code of '" + part + "'", GetLastError())};
  }
  return {};
}

int toInt(int64_t value) { return static_cast<int>(value); }

}  // namespace

int reportFailure(const Failure& failure) {
  std::fflush(stdout);
  std::fprintf(stderr, "%s\n",
               core::ingresMessageLine(localNow(), failure.messageId, failure.text).c_str());
  std::fflush(stderr);
  return 1;
}

void progress(const std::string& text) {
  char stamp[32];
  std::tm now = localNow();
  std::strftime(stamp, sizeof stamp, "%a %b %d %H:%M:%S %Y", &now);
  std::printf("%s %s\n", stamp, text.c_str());
  std::fflush(stdout);
}

std::vector<std::string> argumentList(int argc, char** argv) {
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);
  return arguments;
}

Failure openInstallation(Installation* out) {
  std::string error;
  out->root = utilities::findInstallationRoot(&error);
  if (out->root.empty()) return {"E_US0010_NO_INSTALLATION", error};
  error = readSymbolTable(out->root, &out->symbols);
  if (!error.empty()) return {"E_CL2530_CANNOT_READ_SYMBOLS", error};
  return {};
}

Failure loadDatabase(const Installation& installation, const std::string& name,
                     DatabaseFacts* out) {
  // A name the catalog cannot hold cannot name a database; it also never reaches the query text.
  if (!core::validateDatabaseName(name).empty()) {
    return {"E_DM0053_NONEXISTENT_DB", "Database " + name + " does not exist."};
  }
  CatalogFile catalog;
  std::string error = catalog.open(catalogPath(installation.root, "iidbdb"), /*create=*/false);
  if (!error.empty()) return catalogFailure(error);
  Statement database(catalog,
                     "SELECT d.name, s.checkpoint_sequence, s.journal_sequence, "
                     "(SELECT location_area FROM iilocation_info WHERE location_name=d.jnldev), "
                     "(SELECT location_area FROM iilocation_info WHERE location_name=d.ckpdev) "
                     "FROM iidatabase d LEFT JOIN sim_database_state s ON s.name=d.name "
                     "WHERE d.name=?");
  if (!database.ok()) return catalogFailure(catalog.lastError("reading iidatabase"));
  database.bind(1, name);
  if (database.step() != SQLITE_ROW) {
    return {"E_DM0053_NONEXISTENT_DB", "Database " + name + " does not exist."};
  }
  out->name = trimmedRight(database.text(0));
  out->checkpointSequence = toInt(database.integer(1));
  out->journalSequence = toInt(database.integer(2));
  const std::string journalArea = areaFolder(installation.symbols, database.text(3));
  const std::string checkpointArea = areaFolder(installation.symbols, database.text(4));
  if (journalArea.empty() || checkpointArea.empty()) {
    return catalogFailure("the journal or checkpoint location of " + name +
                          " names an installation variable that is not set");
  }
  out->journalFolder = journalFolder(journalArea, out->name);
  out->checkpointFolder = checkpointFolder(checkpointArea, out->name);

  const std::string query = kDataLocationQueryPrefix + name + kDataLocationQuerySuffix;
  Statement locations(catalog, query.c_str());
  if (!locations.ok()) return catalogFailure(catalog.lastError("listing data locations"));
  while (locations.step() == SQLITE_ROW) {
    DataLocation location;
    location.area = locations.text(0);
    location.folder = dataLocationFolder(installation.symbols, location.area, out->name);
    if (location.folder.empty()) {
      return catalogFailure("the data location area " + location.area +
                            " names an installation variable that is not set");
    }
    out->locations.push_back(location);
  }
  if (out->locations.empty()) {
    return catalogFailure("database " + name + " has no data location in the catalog");
  }
  return {};
}

Failure storeCheckpointSequence(const Installation& installation, const std::string& name,
                                int sequence) {
  CatalogFile catalog;
  std::string error = catalog.open(catalogPath(installation.root, "iidbdb"), /*create=*/false);
  if (!error.empty()) return catalogFailure(error);
  Transaction transaction(catalog);
  if (!transaction.error().empty()) return catalogFailure(transaction.error());
  Statement update(catalog, "UPDATE sim_database_state SET checkpoint_sequence=? WHERE name=?");
  update.bind(1, int64_t{sequence}).bind(2, name);
  if (update.step() != SQLITE_DONE) {
    return catalogFailure(catalog.lastError("recording the checkpoint sequence"));
  }
  error = transaction.commit();
  if (!error.empty()) return catalogFailure(error);
  return {};
}

Failure loadTemplate(const Installation& installation, std::vector<core::TemplateLine>* lines,
                     std::string* path) {
  *path = environmentValue("II_CKTMPL_FILE");
  if (path->empty()) {
    if (const core::Symbol* symbol = core::findSymbol(installation.symbols, "II_CKTMPL_FILE")) {
      *path = symbol->value;
    }
  }
  if (path->empty()) *path = installation.root + "\\ingres\\files\\cktmpl.def";
  std::string text;
  std::string error = readWholeFile(*path, &text);
  if (!error.empty()) {
    return {"E_DM1103_CKP_TEMPLATE_OPEN",
            "cannot read the checkpoint template " + *path + ": " + error};
  }
  *lines = core::parseTemplate(text);
  return {};
}

Failure checkSteps(const std::vector<core::TemplateLine>& lines,
                   const std::vector<std::string>& codes) {
  for (const std::string& code : codes) {
    if (core::findStepLine(lines, code) == nullptr) {
      return {"E_DM1104_CKP_TEMPLATE_LINE",
              "the checkpoint template has no line for the step " + code};
    }
  }
  return {};
}

Failure runStep(const Installation& installation, const std::vector<core::TemplateLine>& lines,
                const std::string& code, const core::CodeValues& values, bool verbose) {
  if (const core::Symbol* symbol = core::findSymbol(installation.symbols, "II_SIM_FAIL_STEP")) {
    const std::string& wanted = symbol->value;
    const std::string here = code + ":" + std::to_string(values.locationNumber);
    if (wanted == code || wanted == here) {
      return {"E_DM1105_CKP_COMMAND_FAILED",
              "the command of step " + here + " ended with exit code 1 (II_SIM_FAIL_STEP)"};
    }
  }
  const core::TemplateLine* line = core::findStepLine(lines, code);
  if (line == nullptr) {
    return {"E_DM1104_CKP_TEMPLATE_LINE",
            "the checkpoint template has no line for the step " + code};
  }
  if (verbose) {
    progress("step " + code + ": template line " + std::to_string(line->lineNumber) + " (" +
             line->code + ")");
  }
  for (const std::string& part : core::splitCommand(core::substituteCodes(line->command, values))) {
    std::string echoed;
    if (core::isEchoPart(part, &echoed)) {
      std::printf("%s\n", echoed.c_str());
      std::fflush(stdout);
      continue;
    }
    DWORD exitCode = 0;
    Failure failure = runPart(part, verbose, &exitCode);
    if (failure) return failure;
    if (exitCode != 0) {
      return {"E_DM1105_CKP_COMMAND_FAILED", "the command of step " + code + " ('" + part +
                                                 "') ended with exit code " +
                                                 std::to_string(exitCode)};
    }
  }
  return {};
}

}  // namespace ingsim::ckp
