// What the simulated ckpdb and rollforwarddb share: the Ingres-style report lines, the database's
// facts from the catalog, the template of the run, and running a template step the way Ingres
// runs it on Windows (each part echoed or run and waited for, a non-zero exit ends the run).
#pragma once

#include <string>
#include <vector>

#include "core/ckp_arguments.h"
#include "core/ckp_template.h"
#include "core/symbol_table.h"

namespace ingsim::ckp {

// A failure as the utility reports it: the message id and its text.
struct Failure {
  std::string messageId;  // "" means no failure
  std::string text;
  explicit operator bool() const { return !messageId.empty(); }
};

// Writes the failure as an Ingres message line on standard error and returns the exit code 1.
int reportFailure(const Failure& failure);
// One progress line on standard output (flushed, as the commands that follow share the stream).
void progress(const std::string& text);

struct DataLocation {
  std::string area;    // as the catalog holds it
  std::string folder;  // <area folder>\ingres\data\default\<db>
};

struct DatabaseFacts {
  std::string name;
  int checkpointSequence = 0;
  int journalSequence = 0;
  std::string journalFolder;
  std::string checkpointFolder;
  std::vector<DataLocation> locations;
};

// The installation, its symbol table and the database. Failures name what is missing.
struct Installation {
  std::string root;
  core::SymbolTable symbols;
};
Failure openInstallation(Installation* out);
Failure loadDatabase(const Installation& installation, const std::string& name, DatabaseFacts* out);
// Records the database's new checkpoint sequence.
Failure storeCheckpointSequence(const Installation& installation, const std::string& name,
                                int sequence);

// The template named by II_CKTMPL_FILE in the process environment, else in the installation's
// symbol table, else the installation's own files\cktmpl.def.
Failure loadTemplate(const Installation& installation, std::vector<core::TemplateLine>* lines,
                     std::string* path);

// Fails when a step of `codes` has no line in the template, before anything has been run.
Failure checkSteps(const std::vector<core::TemplateLine>& lines,
                   const std::vector<std::string>& codes);

// Runs the line of step `code` with its codes filled; waits for every command. The
// installation's variable II_SIM_FAIL_STEP, "<code>" or "<code>:<location number>", fails that
// step as a command that ended with exit code 1 would, without running it (a test hook, as
// II_SIM_INFODB_FAILURE is for infodb).
Failure runStep(const Installation& installation, const std::vector<core::TemplateLine>& lines,
                const std::string& code, const core::CodeValues& values, bool verbose);

// The program's arguments (argv[1..]).
std::vector<std::string> argumentList(int argc, char** argv);

}  // namespace ingsim::ckp
