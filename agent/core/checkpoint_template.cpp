#include "core/checkpoint_template.h"

#include <cstring>
#include <initializer_list>

namespace ferry::agent {
namespace {

// One template line: `head`, then for the siphon lines the agent directory, `middle` and the
// pipe name. Ingres' substitution codes stand here with single percent signs, as in the file.
struct TemplateLine {
  const char* head;
  const char* middle;  // null: not a siphon line
};

constexpr char kBackup[] = "\\siphon -P \"%D\" -C %F -T db_backup -N ";
constexpr char kBackupPartial[] = "\\siphon -P \"%D\" -C %F -T db_backup_partial -N ";
constexpr char kRestore[] = "\\siphon -P \"%D\" -C %F -T db_restore -N ";
constexpr char kRestorePartial[] = "\\siphon -P \"%D\" -C %F -T db_restore_partial -N ";

constexpr TemplateLine kLines[kTemplateLineCount] = {
    {"BSTD:\t echo Beginning checkpoint of %N location(s) ", nullptr},
    {"BSDD:\t echo Beginning checkpoint of %N location(s) ", nullptr},
    {"BRTD:\t echo Beginning restore with of %N location(s) ", nullptr},
    {"BRDD:\t echo Beginning restore with of %N location(s)  ", nullptr},
    {"BSTT:\t echo PARTIAL: Beginning checkpoint to tape %C of %N location(s) ", nullptr},
    {"BSDT:\t echo PARTIAL: Beginning checkpoint to disk %C of %N location(s) ", nullptr},
    {"BRTT:\t echo PARTIAL: Beginning restore of tape %C of %N location(s) ", nullptr},
    {"BRDT:\t echo PARTIAL: Beginning restore to disk %C of %N location(s)", nullptr},
    {"BJDA:\t echo beginning restore of journals ", nullptr},
    {"BJTA:\t echo beginning restore of journals ", nullptr},
    {"BUDA:\t echo beginning restore of dumps ", nullptr},
    {"BUTA:\t echo beginning restore of dumps ", nullptr},
    {"WJDA:", nullptr},
    {"WJTA:", nullptr},
    {"WUDA:", nullptr},
    {"WUTA:", nullptr},
    {"WCDA:\t echo Checking database snapshot for table level recovery ", nullptr},
    {"WCTA:\t echo Checking database snapshot for table level recovery ", nullptr},
    {"PSTD:\t echo Asking for the tape to be available ", nullptr},
    {"WSTD:\t ", kBackup},
    {"PSDD:\t echo Asking for the tape to be available ", nullptr},
    {"WSDD:\t ", kBackup},
    {"PSTT: \t echo executing checkpoint to tape %C of %N location(s) ", nullptr},
    {"WSTT:\t ", kBackupPartial},
    {"PSDT: \t echo executing checkpoint to disk %C of %N location(s) ", nullptr},
    {"WSDT:\t ", kBackupPartial},
    {"PRTD:\t echo Asking for the tape to be available ", nullptr},
    {"WRTD:\t ", kRestore},
    {"PRDD:\t echo Asking for the tape to be available ", nullptr},
    {"WRDD:\t ", kRestore},
    {"PRTT: \t echo executing restore from tape ", nullptr},
    {"WRTT:\t ", kRestorePartial},
    {"PRDT: \t echo executing restore from disk ", nullptr},
    {"WRDT:\t ", kRestorePartial},
    {"WDDD: \t echo deleting files in location %D & del /Q \"%D\\*.*\" ", nullptr},
    {"WDTD: \t echo deleting files in location %D & del /Q \"%D\\*.*\" ", nullptr},
    {"WDDT: \t echo deleting table %X in database location %D ", nullptr},
    {"WDTT: \t echo deleting table %X in database location %D ", nullptr},
    {"IRDT: \t echo beginning table level recovery ", nullptr},
    {"IRTT: \t echo beginning table level recovery ", nullptr},
    {"FRDT: \t echo ending table level recovery ", nullptr},
    {"FRTT: \t echo ending table level recovery ", nullptr},
    {"EETE:\t echo done with tape operations", nullptr},
    {"ESTD:\t echo Ending checkpoint with of %N location(s) ", nullptr},
    {"ERTD:\t echo Ending restore with of %N location(s) ", nullptr},
    {"ESDD:\t echo Ending checkpoint with %N location(s) ", nullptr},
    {"EEDE:\t echo done with disk operations", nullptr},
    {"ERDD:\t echo Ending restore with of %N location(s) ", nullptr},
};

// Joins `pieces` into `out`; false (and "") when they do not fit with the NUL.
bool join(char* out, size_t size, std::initializer_list<const char*> pieces) {
  if (out == nullptr || size == 0) return false;
  size_t length = 0;
  for (const char* piece : pieces) {
    const size_t add = std::strlen(piece != nullptr ? piece : "");
    if (add >= size - length) {
      out[0] = '\0';
      return false;
    }
    std::memcpy(out + length, piece, add);
    length += add;
  }
  out[length] = '\0';
  return true;
}

}  // namespace

bool buildExtractorPipeName(const char* installationCode, const char* dbName, char* out,
                            size_t size) {
  return join(out, size, {kExtractorPipePrefix, installationCode, dbName});
}

bool buildTemplatePath(const char* iiSystem, const char* installationCode, char* out, size_t size) {
  return join(out, size, {iiSystem, "\\ingres\\files\\htbtmpl", installationCode, ".def"});
}

std::string checkpointTemplateLine(int number, const char* agentDirectory, const char* pipeName) {
  if (number < 1 || number > kTemplateLineCount) return {};
  const TemplateLine& line = kLines[number - 1];
  std::string text = line.head;
  if (line.middle != nullptr) {
    text += agentDirectory != nullptr ? agentDirectory : "";
    text += line.middle;
    text += pipeName != nullptr ? pipeName : "";
  }
  // The utilities read the file as text written in text mode: every line ends in CR LF.
  text += "\r\n";
  return text;
}

std::string checkpointTemplateText(const char* agentDirectory, const char* pipeName) {
  std::string text;
  for (int number = 1; number <= kTemplateLineCount; ++number) {
    text += checkpointTemplateLine(number, agentDirectory, pipeName);
  }
  return text;
}

}  // namespace ferry::agent
