// The backup tests' fixture: an agent copy with siphon (or a program in its place), an
// installation and its account of the case's own, the backup entry points bound, and a reader
// that takes one begun object's stream to its end while checking the stream's rules.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "agent_fixture.h"
#include "aligned_buffer.h"
#include "bound_export.h"
#include "ferryman.h"
#include "ingsim/installation.h"
#include "object_header.h"
#include "support/win_process.h"
#include "unique_handle.h"

namespace ferry::test {

constexpr uint32_t kBufferSize = 64 * 1024;
constexpr uint32_t kEndOfFile = 9999;

// One file of a backup stream as the server received it.
struct StreamFile {
  std::string path;
  uint32_t sizeKb = 0;
  std::string checkpoint;
  bool magic = false;
  std::vector<unsigned char> bytes;
  int dataCalls = 0;
};

// A whole object: its files in stream order, and how it ended.
struct StreamObject {
  std::vector<StreamFile> files;
  uint32_t failure = 0;  // the first result that was neither 0 nor 9999
  std::string fault;     // a break of the stream's rules, described
  bool ended = false;    // the final call returned 0 with count 0
};

std::vector<unsigned char> fileBytes(const std::string& path) {
  std::string text = readWholeFile(path);
  return {text.begin(), text.end()};
}

class Backup : public testing::Test {
 protected:
  ScopedTestDirectory testDirectory_;  // made first, undone last

  void SetUp() override {
    savedMachineRoot_ = machineEnvironmentValue("II_SYSTEM");
    pages_ = AlignedBuffer(kBufferSize);
    buffer_ = pages_.data();
    ASSERT_NE(buffer_, nullptr);
  }

  void TearDown() override {
    if (connectionId_ != 0) {
      EXPECT_EQ(disconnect_(connectionId_), 0u);
    }
    if (HasFailure() && agent_) std::printf("---- trace (end)\n%s\n", traceTail().c_str());
    terminateProcesses("siphon.exe");
    agent_.reset();
    account_.reset();
    removeAgentInstallation(&installation_);
    for (const std::string& area : extraAreas_) removeTree(area);
    setMachineEnvironmentValue("II_SYSTEM", savedMachineRoot_);
  }

  // Use with ASSERT_NO_FATAL_FAILURE. `extractor` is the program placed as siphon.exe.
  void install(const std::string& code, const std::string& extractor = "siphon.exe") {
    std::vector<Companion> companions = agentCompanions();
    companions.push_back({extractor, "siphon.exe"});
    agent_ = std::make_unique<AgentCopy>("bk_" + code, companions);
    ASSERT_EQ(agent_->setupError(), "");
    ASSERT_EQ(agent_->load(), 0u);
    HMODULE module = agent_->module();
    connect_ = bound<PFN_DSAConnectAgent>(module, "DSAConnectAgent");
    disconnect_ = bound<PFN_DSADisconnectAgent>(module, "DSADisconnectAgent");
    begin_ = bound<PFN_DSABeginBackup>(module, "DSABeginBackup");
    read_ = bound<PFN_DSARead>(module, "DSARead");
    end_ = bound<PFN_DSAEndBackup>(module, "DSAEndBackup");
    ASSERT_TRUE(connect_ && disconnect_ && begin_ && read_ && end_) << "entry points missing";
    installation_ = std::make_unique<TestInstallation>(installationOptions(code, 2));
    ASSERT_EQ(installation_->error(), "") << code;
    account_ = std::make_unique<ScopedAccount>(ingsim::Account{"ingres", "pw-" + code, ""});
    ASSERT_EQ(account_->error(), "");
  }

  std::string area(const std::string& suffix) {
    std::string path = installation_->root() + "_" + suffix;
    removeTree(path);
    extraAreas_.push_back(path);
    return path;
  }

  void connect() {
    const std::string code = installation_->code();
    ASSERT_EQ(
        connect_(0, ("server@" + code).c_str(), "ingres", ("pw-" + code).c_str(), &connectionId_),
        0u);
  }

  uint32_t begin(const std::string& name, uint32_t options, uint32_t* backupId = nullptr) {
    std::vector<char> text(name.begin(), name.end());
    text.push_back('\0');
    uint32_t id = 77;
    uint32_t remote = 0;
    uint32_t rc = begin_(connectionId_, text.data(), options, &id, &remote);
    lastCutName_ = text.data();
    if (backupId != nullptr) *backupId = id;
    return rc;
  }

  // Reads one begun object to its end, checking the rules of the stream on the way.
  StreamObject readObject() {
    StreamObject object;
    StreamFile* open = nullptr;
    for (int calls = 0; calls < 100000; ++calls) {
      uint32_t count = kBufferSize;
      std::memset(buffer_, 0xa5, kBufferSize);
      uint32_t rc = read_(connectionId_, 1, 0, buffer_, &count);
      if (open == nullptr) {
        if (rc != 0) {
          object.failure = rc;
          return object;
        }
        if (count == 0) {
          object.ended = true;
          if (!header::pathOf(buffer_).empty()) object.fault = "end with a path in the header";
          return object;
        }
        if (count != header::kSize) {
          object.fault = "header of " + std::to_string(count) + " bytes";
          return object;
        }
        StreamFile file;
        file.path = std::string(header::pathOf(buffer_));
        file.sizeKb = header::sizeKbOf(buffer_);
        file.checkpoint = std::string(header::checkpointOf(buffer_));
        file.magic = header::hasMagic(buffer_);
        object.files.push_back(file);
        open = &object.files.back();
        continue;
      }
      if (rc == kEndOfFile) {
        if (count != 0) object.fault = "9999 with count " + std::to_string(count);
        open = nullptr;
        continue;
      }
      if (rc != 0) {
        object.failure = rc;
        return object;
      }
      if (count == 0 || count > kBufferSize) {
        object.fault = "data call with count " + std::to_string(count);
        return object;
      }
      open->bytes.insert(open->bytes.end(), buffer_, buffer_ + count);
      ++open->dataCalls;
    }
    object.fault = "no end";
    return object;
  }

  // The end of the agent's trace (written for installations whose debug setting is on).
  std::string traceTail() const {
    std::string text = readWholeFile(agent_->path("ferryman.trc"));
    return text.substr(text.size() > 30000 ? text.size() - 30000 : 0);
  }

  std::string savedMachineRoot_;
  std::unique_ptr<AgentCopy> agent_;
  std::unique_ptr<TestInstallation> installation_;
  std::unique_ptr<ScopedAccount> account_;
  std::vector<std::string> extraAreas_;
  uint32_t connectionId_ = 0;
  PFN_DSAConnectAgent connect_ = nullptr;
  PFN_DSADisconnectAgent disconnect_ = nullptr;
  PFN_DSABeginBackup begin_ = nullptr;
  PFN_DSARead read_ = nullptr;
  PFN_DSAEndBackup end_ = nullptr;
  AlignedBuffer pages_;  // the agent reads files unbuffered into them
  unsigned char* buffer_ = nullptr;
  std::string lastCutName_;
};

}  // namespace ferry::test
