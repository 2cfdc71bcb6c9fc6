// info, list and excluded: the agent's catalogue calls, each answer printed readably.
#include <algorithm>
#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "commands.h"
#include "core/backup_plan.h"
#include "core/catalogue_view.h"
#include "core/json_fields.h"
#include "core/output_format.h"
#include "json_report.h"

namespace ferry::ctl {
namespace {

constexpr uint32_t kListObjects = 1;
constexpr uint32_t kObjectSize = 2;
constexpr uint32_t kPropertySheet = 5;
// First buffer sizes: what the interface asks for at least; a larger need is negotiated.
constexpr size_t kFirstListSize = 4096;
constexpr size_t kExcludedMinimumSize = 32768;

ExitCode failed(DSA_RESULT result) { return exitCodeForResult(result); }

// The object's kind by its name, as the backup and the archive call it; null for a name of
// none of the three forms.
Json objectKindJson(const std::string& name) {
  std::optional<ObjectName> named = classifyObjectName(name);
  if (!named) return Json();
  return Json(objectKindWord(named->kind));
}

Json objectJson(const std::string& name, std::span<const uint8_t, kSizeRecordSize> size) {
  Json object = Json::object().set("name", name).set("kind", objectKindJson(name));
  const uint32_t kb = objectSizeKb(size);
  const uint32_t again = objectSizeKbAgain(size);
  const bool unknown = kb == kUnknownSizeKb && again == kUnknownSizeKb;
  object.set("sizeKb", unknown ? Json() : Json(kb));
  if (again != kb) object.set("sizeKbAgain", again);
  return object;
}

}  // namespace

ExitCode runInfo(const AgentEntryPoints& agent, const ConnectArguments& arguments) {
  AgentConnection connection(agent);
  if (DSA_RESULT result = connection.open(arguments); result != DSA_OK) return failed(result);
  std::array<uint8_t, kAgentInfoSize> record{};
  uint32_t size = static_cast<uint32_t>(record.size());
  DSA_RESULT result = agent.getAgentInfo(connection.id(), record.data(), &size);
  if (result != DSA_OK) {
    printAgentFailure(agent, "DSAGetAgentInfo", result);
    return failed(result);
  }
  const AgentInfo info = parseAgentInfo(record);
  for (const std::string& line : agentInfoLines(info)) printLine(stdout, line);
  if (DSA_RESULT closed = connection.close(); closed != DSA_OK) return failed(closed);
  if (jsonReportActive()) jsonResult() = agentInfoJson(info);
  return ExitCode::kSuccess;
}

// The object list (type 1) on an open connection: 0 and the names, or the agent's code
// (printed).
DSA_RESULT listObjects(const AgentEntryPoints& agent, uint32_t connectionId,
                       std::vector<std::string>* names) {
  std::vector<uint8_t> buffer;
  uint32_t reported = 0;
  DSA_RESULT result =
      negotiateBuffer(kFirstListSize, buffer, &reported, [&](uint8_t* data, uint32_t* size) {
        return agent.enumObjects(connectionId, "", kListObjects, data, size);
      });
  if (result != DSA_OK) {
    printAgentFailure(agent, "DSAEnumObjects (object list)", result);
    return result;
  }
  *names = nulSeparatedEntries(std::span(buffer).first(std::min<size_t>(reported, buffer.size())));
  return DSA_OK;
}

ExitCode runList(const AgentEntryPoints& agent, const ConnectArguments& arguments,
                 bool properties) {
  AgentConnection connection(agent);
  if (DSA_RESULT result = connection.open(arguments); result != DSA_OK) return failed(result);
  std::vector<std::string> names;
  if (DSA_RESULT result = listObjects(agent, connection.id(), &names); result != DSA_OK) {
    return failed(result);
  }
  Json objects = Json::array();
  for (const std::string& name : names) {
    std::array<uint8_t, kSizeRecordSize> size{};
    uint32_t sizeLength = static_cast<uint32_t>(size.size());
    DSA_RESULT result =
        agent.enumObjects(connection.id(), name.c_str(), kObjectSize, size.data(), &sizeLength);
    if (result != DSA_OK) {
      printAgentFailure(agent, "DSAEnumObjects (size of " + name + ")", result);
      return failed(result);
    }
    printLine(stdout, objectLine(name, objectSizeText(size)));
    Json object = objectJson(name, size);
    if (!properties) {
      objects.push(std::move(object));
      continue;
    }
    std::vector<uint8_t> sheet;
    uint32_t reported = 0;
    result = negotiateBuffer(
        kPropertySheetMinimumSize, sheet, &reported, [&](uint8_t* data, uint32_t* length) {
          return agent.enumObjects(connection.id(), name.c_str(), kPropertySheet, data, length);
        });
    if (result != DSA_OK) {
      printAgentFailure(agent, "DSAEnumObjects (properties of " + name + ")", result);
      return failed(result);
    }
    for (const std::string& line : propertySheetLines(sheet, reported)) printLine(stdout, line);
    Json sheetJson = Json::array();
    for (const PropertyEntry& entry : propertySheetEntries(sheet, reported)) {
      sheetJson.push(Json::object().set("label", entry.label).set("value", entry.value));
    }
    objects.push(std::move(object.set("properties", std::move(sheetJson))));
  }
  if (names.empty()) printLine(stdout, "(no objects)");
  if (DSA_RESULT closed = connection.close(); closed != DSA_OK) return failed(closed);
  if (jsonReportActive()) jsonResult() = Json::object().set("objects", std::move(objects));
  return ExitCode::kSuccess;
}

ExitCode runExcluded(const AgentEntryPoints& agent, const ConnectArguments& arguments) {
  AgentConnection connection(agent);
  if (DSA_RESULT result = connection.open(arguments); result != DSA_OK) return failed(result);
  std::vector<uint8_t> buffer;
  uint32_t reported = 0;
  DSA_RESULT result =
      negotiateBuffer(kExcludedMinimumSize, buffer, &reported, [&](uint8_t* data, uint32_t* size) {
        return agent.getExcludedFiles(connection.id(), data, size);
      });
  if (result != DSA_OK) {
    printAgentFailure(agent, "DSAGetExcludedFiles", result);
    return failed(result);
  }
  // The whole zeroed buffer is read up to the first empty entry: the list ends there whether
  // or not the reported size counts the separators.
  Json directories = Json::array();
  for (const std::string& path : nulSeparatedEntries(buffer)) {
    printLine(stdout, path);
    directories.push(path);
  }
  if (DSA_RESULT closed = connection.close(); closed != DSA_OK) return failed(closed);
  if (jsonReportActive()) {
    jsonResult() = Json::object().set("directories", std::move(directories));
  }
  return ExitCode::kSuccess;
}

}  // namespace ferry::ctl
