// The restore tests' fixture: an agent copy with siphon, an installation, its account and agent
// settings of the case's own, the restore entry points bound, and one restore session (begin,
// the header, the data in blocks, end) built by the test itself: per file a 1024-byte object
// header and the data blocks.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "agent_fixture.h"
#include "bound_export.h"
#include "ferryman.h"
#include "ingsim/installation.h"
#include "object_header.h"

namespace ferry::test {

std::vector<unsigned char> objectHeader(const std::string& path, const std::string& checkpoint,
                                        uint32_t sizeKb = 1) {
  std::vector<unsigned char> block(header::kSize, 0);
  std::memcpy(block.data() + header::kMagicOffset, header::kMagic, sizeof header::kMagic - 1);
  std::memcpy(block.data() + header::kCheckpointOffset, checkpoint.data(), checkpoint.size());
  std::memcpy(block.data() + header::kPathOffset, path.data(),
              std::min(path.size(), header::kPathSize));
  for (int i = 0; i < 4; ++i) block[header::kSizeKbOffset + i] = (sizeKb >> (8 * i)) & 0xff;
  return block;
}

std::string pattern(size_t size, unsigned seed) {
  std::string data(size, '\0');
  for (size_t i = 0; i < size; ++i)
    data[i] = static_cast<char>((i * 131 + seed * 7 + i / 251) & 0xff);
  return data;
}

// ---------------------------------------------------------------------------------------------
// The agent against simulated installations.

struct RestoredFile {
  std::string path;
  std::string content;
};

class Restore : public testing::Test {
 protected:
  ScopedTestDirectory testDirectory_;  // made first, undone last
  void SetUp() override {
    savedMachineRoot_ = machineEnvironmentValue("II_SYSTEM");
    std::vector<Companion> companions = agentCompanions();
    companions.push_back({"siphon.exe", "siphon.exe"});
    agent_ = std::make_unique<AgentCopy>(
        std::string("rs_") + testing::UnitTest::GetInstance()->current_test_info()->name(),
        companions);
    ASSERT_EQ(agent_->setupError(), "");
    ASSERT_EQ(agent_->load(), 0u);
    ASSERT_EQ(agent_->bind(), "");
    HMODULE module = agent_->module();
    connect_ = bound<PFN_DSAConnectAgent>(module, "DSAConnectAgent");
    disconnect_ = bound<PFN_DSADisconnectAgent>(module, "DSADisconnectAgent");
    begin_ = bound<PFN_DSABeginRestore>(module, "DSABeginRestore");
    write_ = bound<PFN_DSAWrite>(module, "DSAWrite");
    end_ = bound<PFN_DSAEndRestore>(module, "DSAEndRestore");
    pointInTime_ = bound<PFN_DSASetRestorePointInTime>(module, "DSASetRestorePointInTime");
    ASSERT_TRUE(connect_ && disconnect_ && begin_ && write_ && end_ && pointInTime_)
        << "entry points not exported";
  }

  void TearDown() override {
    for (uint32_t id : connections_) {
      if (id != 0) disconnect_(id);
    }
    if (installation_ && awaitRollForward_) waitForRollForward(/*timeoutMs=*/30000);
    if (HasFailure() && agent_) {
      // What the agent and rollforwarddb said, before their folder goes.
      const std::string log = trace();
      std::printf("---- trace (last 6000 bytes)\n%s\n",
                  log.substr(log.size() > 6000 ? log.size() - 6000 : 0).c_str());
      if (installation_) {
        std::printf("---- roll\n%s\n---- rollerr\n%s\n", readWholeFile(agentFile("roll")).c_str(),
                    readWholeFile(agentFile("rollerr")).c_str());
      }
    }
    agent_.reset();
    settings_.reset();
    account_.reset();
    removeAgentInstallation(&installation_);
    setMachineEnvironmentValue("II_SYSTEM", savedMachineRoot_);
    SetEnvironmentVariableA("II_CKTMPL_FILE", nullptr);
  }

  // Use with ASSERT_NO_FATAL_FAILURE.
  void install(const std::string& code, const ingsim::DatabaseOptions& db) {
    installation_ = std::make_unique<TestInstallation>(installationOptions(code, 2));
    ASSERT_EQ(installation_->error(), "") << code;
    account_ = std::make_unique<ScopedAccount>(ingsim::Account{"ingres", "pw-" + code, ""});
    ASSERT_EQ(account_->error(), "") << code;
    settings_ = std::make_unique<ScopedAgentSettings>(code);
    ASSERT_EQ(settings_->setDebug(1), 0);
    ASSERT_EQ(ingsim::addDatabase(code, db), "");
    database_ = db.name;
  }

  // A test whose rollforwarddb reports nothing clears this: there is no end to wait for.
  bool awaitRollForward_ = true;

  // Use with ASSERT_NO_FATAL_FAILURE.
  uint32_t connect() {
    const std::string code = installation_->code();
    uint32_t id = 0;
    uint32_t rc = connect_(0, ("server@" + code).c_str(), "ingres", ("pw-" + code).c_str(), &id);
    EXPECT_EQ(rc, 0u) << "connect rc " << rc;
    EXPECT_NE(id, 0u);
    connections_.push_back(id);
    return id;
  }

  void disconnect(uint32_t id) {
    EXPECT_EQ(disconnect_(id), 0u);
    std::replace(connections_.begin(), connections_.end(), id, 0u);
  }

  // One session: begin, the header, the data in blocks, end. The first failing code, or 0.
  uint32_t restoreFile(uint32_t id, const std::string& object, uint32_t options,
                       const RestoredFile& file, const std::string& checkpoint = "0001",
                       size_t blockSize = 65536) {
    uint32_t restoreId = 0xbdbdbdbd, ioUnit = 0xbdbdbdbd;
    uint32_t rc = begin_(id, object.c_str(), options, &restoreId, &ioUnit);
    if (rc != 0) return rc;
    EXPECT_EQ(ioUnit, id);
    std::vector<unsigned char> block =
        objectHeader(file.path, checkpoint,
                     static_cast<uint32_t>(std::max<size_t>(1, file.content.size() >> 10)));
    uint32_t count = static_cast<uint32_t>(block.size());
    rc = write_(id, 0, 0, block.data(), &count);
    EXPECT_EQ(count, block.size()) << "the count is not changed";
    for (size_t at = 0; rc == 0 && at < file.content.size(); at += blockSize) {
      count = static_cast<uint32_t>(std::min(blockSize, file.content.size() - at));
      rc = write_(id, 0, 0, file.content.data() + at, &count);
    }
    const uint32_t endRc = end_(id, 0);
    EXPECT_EQ(endRc, 0u);
    return rc;
  }

  uint32_t writeBlock(uint32_t id, const std::vector<unsigned char>& block) {
    uint32_t count = static_cast<uint32_t>(block.size());
    return write_(id, 0, 0, block.data(), &count);
  }

  std::string agentFile(const std::string& stem) const {
    return agent_->path(stem + installation_->code() + database_ + ".out");
  }

  // True once the simulated rollforwarddb reported its end (or its failure).
  bool waitForRollForward(DWORD timeoutMs) {
    for (DWORD waited = 0; waited < timeoutMs; waited += 250) {
      if (readWholeFile(agentFile("roll")).find("completed.") != std::string::npos ||
          !readWholeFile(agentFile("rollerr")).empty()) {
        return true;
      }
      if (!fileExists(agentFile("roll"))) return false;
      Sleep(250);
    }
    return false;
  }

  std::string trace() const { return readWholeFile(agent_->path("ferryman.trc")); }
  std::string root() const { return installation_->root(); }
  ConnectionRecord* record(uint32_t id) {
    return agent_->api().FindConnection(static_cast<int>(id));
  }

  std::string savedMachineRoot_;
  std::unique_ptr<AgentCopy> agent_;
  std::unique_ptr<TestInstallation> installation_;
  std::unique_ptr<ScopedAccount> account_;
  std::unique_ptr<ScopedAgentSettings> settings_;
  std::string database_;
  std::vector<uint32_t> connections_;
  PFN_DSAConnectAgent connect_ = nullptr;
  PFN_DSADisconnectAgent disconnect_ = nullptr;
  PFN_DSABeginRestore begin_ = nullptr;
  PFN_DSAWrite write_ = nullptr;
  PFN_DSAEndRestore end_ = nullptr;
  PFN_DSASetRestorePointInTime pointInTime_ = nullptr;
};

}  // namespace ferry::test
