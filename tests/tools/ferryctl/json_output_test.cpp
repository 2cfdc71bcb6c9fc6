// ferryctl --json against the testbed agent and a simulated installation: each command prints
// one JSON document on standard output and nothing on standard error, failures included (with
// the agent's or the system's code and text), and exits as it does without --json.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "ferryctl_fixture.h"
#include "ingsim/installation.h"
#include "sha256.h"
#include "support/json_reader.h"

namespace ferry::test {
namespace {

using ctl::Json;

// The run's document, read strictly; a test failure when stdout is not exactly one document,
// when anything went to standard error or when the document's exit code is not the process's.
Json documentOf(const CtlRun& run) {
  std::string error;
  std::optional<Json> document = readJson(run.out, &error);
  EXPECT_TRUE(document) << error << "; " << run.describe();
  if (!document) return Json();
  EXPECT_EQ(run.err, "") << run.describe();
  EXPECT_EQ(jsonAt(*document, {"exitCode"}).unsignedNumber(), run.process.exitCode)
      << run.describe();
  return *document;
}

std::string text(const Json& document, std::initializer_list<JsonStep> path) {
  return jsonAt(document, path).string();
}
uint64_t number(const Json& document, std::initializer_list<JsonStep> path) {
  return jsonAt(document, path).unsignedNumber();
}

// The element of an array of objects whose "name" is `name`; null when none is.
Json named(const Json& objects, const std::string& name) {
  for (size_t i = 0; i < objects.size(); ++i) {
    if (text(objects.at(i), {"name"}) == name) return objects.at(i);
  }
  return Json();
}

std::string systemText(DWORD error) {
  char buffer[1300] = {};
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           error, 0, buffer, sizeof buffer, nullptr);
  std::string result(buffer, n);
  while (!result.empty() && (result.back() == '\n' || result.back() == '\r')) result.pop_back();
  return result;
}

TEST_F(FerryctlAgent, JsonDocumentsForEveryCommandAndItsFailures) {
  ASSERT_NO_FATAL_FAILURE(install("FJ"));
  std::string second;
  ASSERT_EQ(addJournaledShop("FJ", 3000, &second), "");
  const std::string root = installation_->root();
  {
    SCOPED_TRACE("info");
    CtlRun info = run("--json info");
    ASSERT_EQ(info.process.exitCode, 0u) << info.describe();
    Json d = documentOf(info);
    EXPECT_EQ(text(d, {"command"}), "info");
    EXPECT_EQ(text(d, {"outcome"}), "success");
    EXPECT_EQ(text(d, {"result", "vendorName"}), "Ingres Server");
    EXPECT_NE(text(d, {"result", "agentVersion"}), "");
    EXPECT_EQ(jsonAt(d, {"messages"}).size(), 0u);
    EXPECT_EQ(jsonAt(d, {"error"}).type(), Json::Type::kNull) << "no error member on success";
  }
  {
    SCOPED_TRACE("list --properties: names, kinds, sizes and each sheet's lines");
    Json d = documentOf(run("--json list", "--properties"));
    const Json objects = jsonAt(d, {"result", "objects"});
    const Json data = named(objects, "shop.DATA");
    EXPECT_EQ(text(data, {"kind"}), "data") << d.serialize();
    EXPECT_EQ(number(data, {"sizeKb"}), (200000u + 3000u + (1u << 20) + 3u) / 1024u);
    EXPECT_EQ(text(named(objects, "shop.~CONFIG"), {"kind"}), "configuration");
    const Json journals = named(objects, "~JOURNAL OF DATABASE shop");
    EXPECT_EQ(text(journals, {"kind"}), "journals");
    EXPECT_EQ(number(journals, {"sizeKb"}), 2u * 3000u / 1024u);
    const Json sheet = jsonAt(data, {"properties"});
    ASSERT_GE(sheet.size(), 4u) << d.serialize();
    bool namesTheLocation = false;
    for (size_t i = 0; i < sheet.size(); ++i) {
      namesTheLocation |=
          text(sheet, {static_cast<int>(i), "value"}) == ingsim::dataFolder(second, "shop");
    }
    EXPECT_TRUE(namesTheLocation) << d.serialize();
  }
  {
    SCOPED_TRACE("excluded");
    Json d = documentOf(run("--json excluded"));
    const Json directories = jsonAt(d, {"result", "directories"});
    bool found = false;
    for (size_t i = 0; i < directories.size(); ++i) {
      found |= directories.at(i).string() == ingsim::journalFolder(root, "shop");
    }
    EXPECT_TRUE(found) << d.serialize();
  }
  const std::string archive = "C:\\ferrytest\\ctl_FJ.fya";
  removeAfterwards_.push_back(archive);
  {
    SCOPED_TRACE("backup: each object and the archive's totals");
    Json d = documentOf(run("--json backup", quoted(archive) + " --database shop"));
    EXPECT_EQ(text(d, {"outcome"}), "success") << d.serialize();
    EXPECT_EQ(text(d, {"result", "archive"}), archive);
    EXPECT_EQ(text(d, {"result", "objects", 1, "name"}), "shop.~CONFIG");
    EXPECT_EQ(number(d, {"result", "objects", 0, "files"}), 3u);
    EXPECT_EQ(number(d, {"result", "files"}), 7u);
    EXPECT_EQ(number(d, {"result", "archiveBytes"}), readWholeFile(archive).size());
  }
  {
    SCOPED_TRACE("verify: every file with its length and SHA-256");
    Json d = documentOf(ferryctl("--json verify " + quoted(archive)));
    EXPECT_EQ(text(d, {"command"}), "verify");
    const Json file = jsonAt(d, {"result", "objects", 0, "files", 0});
    const std::string data = readWholeFile(text(file, {"path"}));
    EXPECT_EQ(number(file, {"bytes"}), data.size()) << d.serialize();
    ctl::Sha256 sha;
    sha.update({reinterpret_cast<const uint8_t*>(data.data()), data.size()});
    EXPECT_EQ(text(file, {"sha256"}), ctl::digestHex(sha.finish()));
    EXPECT_EQ(text(d, {"result", "objects", 2, "kind"}), "journals");
    EXPECT_EQ(text(d, {"result", "written"}).size(), 20u) << d.serialize();
    EXPECT_EQ(text(d, {"result", "earliestAsOf"}).size(), 19u) << d.serialize();
    EXPECT_EQ(text(d, {"result", "agent", "vendorName"}), "Ingres Server");
  }
  {
    SCOPED_TRACE("an archive that does not exist: the system's code and text");
    CtlRun missing = ferryctl("--json verify C:\\ferrytest\\ctl_FJ_none.fya");
    EXPECT_EQ(missing.process.exitCode, 4u) << missing.describe();
    Json d = documentOf(missing);
    EXPECT_EQ(text(d, {"outcome"}), "archive");
    EXPECT_EQ(jsonAt(d, {"result"}).type(), Json::Type::kNull);
    EXPECT_EQ(number(d, {"error", "code"}), 2u) << d.serialize();
    EXPECT_EQ(text(d, {"error", "codeKind"}), "system");
    EXPECT_EQ(text(d, {"error", "text"}), systemText(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(text(d, {"error", "message"}).find("cannot open C:\\ferrytest\\ctl_FJ_none.fya"), 0u);
  }
  {
    SCOPED_TRACE("restore with every file compared; a point in time it cannot reach");
    const std::string lost = ingsim::dataFolder(second, "shop") + "\\aaaaaaad.t00";
    ASSERT_TRUE(DeleteFileA(lost.c_str()));
    Json d = documentOf(run("--json restore " + quoted(archive)));
    EXPECT_EQ(text(d, {"outcome"}), "success") << d.serialize();
    EXPECT_EQ(number(d, {"result", "verifiedFiles"}), 7u);
    EXPECT_EQ(jsonAt(d, {"result", "differing"}).size(), 0u);
    EXPECT_EQ(text(d, {"result", "objects", 2, "name"}), "shop.DATA") << "the data come last";
    EXPECT_EQ(jsonAt(d, {"result", "asOf"}).type(), Json::Type::kNull);
    EXPECT_TRUE(fileExists(lost));
    CtlRun early = run("--json restore " + quoted(archive), "--as-of \"2000-01-01 00:00:00\"");
    EXPECT_EQ(early.process.exitCode, 2u) << early.describe();
    d = documentOf(early);
    EXPECT_EQ(text(d, {"outcome"}), "usage");
    EXPECT_NE(text(d, {"error", "message"}).find("is before the archive's checkpoint"),
              std::string::npos)
        << d.serialize();
  }
  {
    SCOPED_TRACE("the agent's failures: the call, its code and its text");
    CtlRun unknown = run("--json backup", quoted(archive + ".none") + " nosuchdb.DATA");
    EXPECT_EQ(unknown.process.exitCode, 1u) << unknown.describe();
    Json d = documentOf(unknown);
    EXPECT_EQ(text(d, {"outcome"}), "agent-error");
    EXPECT_EQ(text(d, {"error", "call"}), "DSABeginBackup(nosuchdb.DATA)") << d.serialize();
    EXPECT_EQ(text(d, {"error", "codeKind"}), "agent");
    EXPECT_NE(number(d, {"error", "code"}), 0u);
    EXPECT_NE(text(d, {"error", "text"}), "");
    const Json messages = jsonAt(d, {"messages"});
    ASSERT_GE(messages.size(), 2u) << d.serialize();
    EXPECT_EQ(messages.at(messages.size() - 1).string(), "backup abandoned; no archive written");
    EXPECT_FALSE(fileExists(archive + ".none"));
    password_ = "wrong";
    CtlRun refused = run("--json list");
    EXPECT_EQ(refused.process.exitCode, 1u) << refused.describe();
    d = documentOf(refused);
    EXPECT_EQ(text(d, {"error", "call"}), "DSAConnectAgent");
    EXPECT_EQ(number(d, {"error", "code"}), 85u);
    EXPECT_EQ(jsonAt(d, {"result"}).type(), Json::Type::kNull);
  }
  {
    SCOPED_TRACE("a malformed command line after --json: a usage document");
    CtlRun usage = ferryctl("--json restore " + quoted(archive) + " i@FJ");
    EXPECT_EQ(usage.process.exitCode, 2u) << usage.describe();
    Json d = documentOf(usage);
    EXPECT_EQ(text(d, {"command"}), "restore");
    EXPECT_EQ(text(d, {"outcome"}), "usage");
    EXPECT_NE(text(d, {"error", "message"}).find("restore takes 3 arguments"), std::string::npos);
  }
}

}  // namespace
}  // namespace ferry::test
