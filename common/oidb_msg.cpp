#include "oidb_msg.h"

#include <cstring>

namespace ferry {
namespace {

void copyField(char* field, size_t fieldSize, std::string_view text) {
  size_t length = text.size() < fieldSize ? text.size() : fieldSize - 1;
  if (length > 0) std::memcpy(field, text.data(), length);
  // The rest is already zero: the record is zero-filled before any field is set.
}

std::string_view boundedText(const char* field, size_t fieldSize) {
  const void* nul = std::memchr(field, '\0', fieldSize);
  size_t length = nul ? static_cast<size_t>(static_cast<const char*>(nul) - field) : fieldSize;
  return {field, length};
}

}  // namespace

OidbMsg makeOidbMsg(int32_t type, std::string_view objectName, std::string_view ckpdbName) {
  OidbMsg msg;
  std::memset(&msg, 0, sizeof msg);
  msg.MsgType = type;
  copyField(msg.ObjectName, sizeof msg.ObjectName, objectName);
  copyField(msg.ckpdb_name, sizeof msg.ckpdb_name, ckpdbName);
  return msg;
}

std::string_view objectNameOf(const OidbMsg& msg) {
  return boundedText(msg.ObjectName, sizeof msg.ObjectName);
}

std::string_view ckpdbNameOf(const OidbMsg& msg) {
  return boundedText(msg.ckpdb_name, sizeof msg.ckpdb_name);
}

std::string_view checkpointPrefix(std::string_view ckpdbName) { return ckpdbName.substr(0, 5); }

std::string_view checkpointNumberText(std::string_view ckpdbName) {
  std::string_view prefix = checkpointPrefix(ckpdbName);
  return prefix.empty() ? prefix : prefix.substr(1);
}

}  // namespace ferry
