// Readers of the installation's utility reports and files, and the composed PATH value: what
// ingprenv, infodb, install.log and config.dat print, taken one line at a time.
//
// Conventions:
// - Platform-free (no windows.h). A "line" is what one fgets call gives, its newline (if any)
//   included; callers read with the buffer sizes given below, so a longer line arrives in pieces.
// - Every copy into a caller's buffer is bounded by its size and NUL-terminated when size > 0.
// - No exceptions, no allocation.
#pragma once

#include <cstddef>

namespace ferry::agent {

// Line buffers of the readers, NUL included.
inline constexpr size_t kUtilityLineSize = 256;            // ingprenv and infodb output
inline constexpr size_t kInstallationFileLineSize = 2048;  // install.log and config.dat
inline constexpr size_t kVariableCacheEntries = 32;
inline constexpr size_t kVariableTextSize = 256;
inline constexpr size_t kOwnerListLimit = 1000;
inline constexpr size_t kOwnerNameSize = 256;

// "<iiSystem>\ingres\bin;<iiSystem>\ingres\utility;<iiSystem>\ingres\vdba;<savedPath>", cut
// at `size`. Returns the length written.
size_t composeInstallationPath(char* out, size_t size, const char* iiSystem, const char* savedPath);

// One NAME=VALUE line of ingprenv: the name is the text before the first '=', the value the
// text after it without the line's last character (its newline; a last line without one loses
// a real character, as the report is read). False for a line without '=' (nothing written).
bool parseVariableLine(const char* line, char* name, size_t nameSize, char* value,
                       size_t valueSize);

// The infodb report's current journal sequence: the first "Journal sequence :" line after the
// line that begins "----Journal information". Feed every line in order; number stays 0 when
// the report has no such section or line.
class JournalSequenceScan {
 public:
  void feed(const char* line);
  int number() const { return number_; }
  bool found() const { return found_; }

 private:
  bool inSection_ = false;
  bool found_ = false;
  int number_ = 0;
};

// The owner named by an install.log line that contains "USERNAME=": the text after it without
// the line's last character. False when the line names none.
bool installLogOwner(const char* line, char* owner, size_t ownerSize);

// "ii.<lower-case computer name>.privileges.user." into `out`; returns the length written.
size_t privilegeKeyPrefix(char* out, size_t size, const char* computerName);

// The user of a config.dat line that holds `prefix` and the four owner privileges: the text
// after the prefix up to the next ':' (or the line end without its newline). False otherwise.
bool configDatUser(const char* line, const char* prefix, char* user, size_t userSize);

// The installation owner chosen from the privileged users of config.dat, in file order:
// "system" never counts; one remaining name is the owner; of several, the first that is not
// "administrator". At most kOwnerListLimit names are considered, so the choice needs no list.
class OwnerChoice {
 public:
  void add(const char* user);
  // False when there is no owner; else the owner is copied into `owner`.
  bool owner(char* owner, size_t ownerSize) const;
  size_t count() const { return count_; }

 private:
  size_t count_ = 0;
  char first_[kOwnerNameSize] = {};
  char firstNotAdministrator_[kOwnerNameSize] = {};
};

}  // namespace ferry::agent
