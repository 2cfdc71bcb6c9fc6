#include "core/installation_text.h"

#include <cstdlib>
#include <cstring>

namespace ferry::agent {
namespace {

// Copies at most `length` characters of `text`, cut to the buffer.
void copyBounded(char* out, size_t size, const char* text, size_t length) {
  if (size == 0) return;
  size_t n = length < size - 1 ? length : size - 1;
  std::memcpy(out, text, n);
  out[n] = '\0';
}

size_t appendBounded(char* out, size_t size, size_t used, const char* text) {
  if (size == 0 || used >= size - 1) return used;
  size_t room = size - 1 - used;
  size_t length = std::strlen(text);
  size_t n = length < room ? length : room;
  std::memcpy(out + used, text, n);
  out[used + n] = '\0';
  return used + n;
}

bool equalsIgnoringCase(const char* a, const char* b) {
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    if (lower(*a) != lower(*b)) return false;
  }
  return *a == *b;
}

constexpr const char kJournalSection[] = "----Journal information";
constexpr const char kJournalSequence[] = "Journal sequence :";
constexpr const char kOwnerPrivileges[] = "SERVER_CONTROL,NET_ADMIN,MONITOR,TRUSTED";
constexpr const char kUserNameKey[] = "USERNAME=";

}  // namespace

size_t composeInstallationPath(char* out, size_t size, const char* iiSystem,
                               const char* savedPath) {
  if (size == 0) return 0;
  out[0] = '\0';
  size_t used = 0;
  const char* const parts[] = {iiSystem, "\\ingres\\bin;",  iiSystem, "\\ingres\\utility;",
                               iiSystem, "\\ingres\\vdba;", savedPath};
  for (const char* part : parts) used = appendBounded(out, size, used, part ? part : "");
  return used;
}

bool parseVariableLine(const char* line, char* name, size_t nameSize, char* value,
                       size_t valueSize) {
  const char* equals = std::strchr(line, '=');
  if (equals == nullptr) return false;
  copyBounded(name, nameSize, line, static_cast<size_t>(equals - line));
  const char* rest = equals + 1;
  size_t length = std::strlen(rest);
  copyBounded(value, valueSize, rest, length > 0 ? length - 1 : 0);
  return true;
}

void JournalSequenceScan::feed(const char* line) {
  if (found_) return;
  if (!inSection_) {
    inSection_ = std::strncmp(line, kJournalSection, sizeof kJournalSection - 1) == 0;
    return;
  }
  if (std::strstr(line, kJournalSequence) == nullptr) return;
  found_ = true;
  // The third ':'-separated field holds the number after two characters and any blanks.
  const char* field = line;
  for (int separators = 0; separators < 2; ++separators) {
    field = std::strchr(field, ':');
    if (field == nullptr) return;
    ++field;
  }
  for (int skipped = 0; skipped < 2 && *field != '\0'; ++skipped) ++field;
  while (*field == ' ' || *field == '\t') ++field;
  number_ = std::atoi(field);
}

bool installLogOwner(const char* line, char* owner, size_t ownerSize) {
  const char* key = std::strstr(line, kUserNameKey);
  if (key == nullptr) return false;
  const char* rest = key + sizeof kUserNameKey - 1;
  size_t length = std::strlen(rest);
  copyBounded(owner, ownerSize, rest, length > 0 ? length - 1 : 0);
  return true;
}

size_t privilegeKeyPrefix(char* out, size_t size, const char* computerName) {
  if (size == 0) return 0;
  out[0] = '\0';
  size_t used = appendBounded(out, size, 0, "ii.");
  size_t start = used;
  used = appendBounded(out, size, used, computerName);
  for (size_t i = start; i < used; ++i) {
    if (out[i] >= 'A' && out[i] <= 'Z') out[i] = static_cast<char>(out[i] - 'A' + 'a');
  }
  return appendBounded(out, size, used, ".privileges.user.");
}

bool configDatUser(const char* line, const char* prefix, char* user, size_t userSize) {
  const char* key = std::strstr(line, prefix);
  if (key == nullptr || std::strstr(line, kOwnerPrivileges) == nullptr) return false;
  const char* name = key + std::strlen(prefix);
  size_t length = std::strcspn(name, ":\r\n");
  copyBounded(user, userSize, name, length);
  return true;
}

void OwnerChoice::add(const char* user) {
  if (equalsIgnoringCase(user, "system") || count_ >= kOwnerListLimit) return;
  if (count_ == 0) copyBounded(first_, sizeof first_, user, std::strlen(user));
  if (firstNotAdministrator_[0] == '\0' && !equalsIgnoringCase(user, "administrator")) {
    copyBounded(firstNotAdministrator_, sizeof firstNotAdministrator_, user, std::strlen(user));
  }
  ++count_;
}

bool OwnerChoice::owner(char* owner, size_t ownerSize) const {
  const char* chosen = count_ == 1 ? first_ : firstNotAdministrator_;
  if (count_ == 0 || chosen[0] == '\0') return false;
  copyBounded(owner, ownerSize, chosen, std::strlen(chosen));
  return true;
}

}  // namespace ferry::agent
