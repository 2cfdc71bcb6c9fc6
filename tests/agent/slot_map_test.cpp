// The connection table and the machine-wide slot map "ferryman_sharedmem", across two processes:
// the test program re-runs itself as the second process, which loads its own copy of the agent;
// a second process that is killed leaves ids that come back.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "agent_fixture.h"
#include "bound_export.h"
#include "ferryman.h"
#include "process_information.h"
#include "support/child_role.h"
#include "support/win_process.h"
#include "unique_handle.h"

namespace ferry::test {
namespace {

constexpr char kSlotMapName[] = "ferryman_sharedmem";
constexpr char kChildReady[] = "ferry_ag_slotmap_child_ready";
constexpr char kChildGo[] = "ferry_ag_slotmap_child_go";

// The slot map's 32 words as this process sees them, or an empty list when it does not exist.
std::vector<uint32_t> slotWords() {
  ferry::UniqueHandleNull section(OpenFileMappingA(FILE_MAP_READ, FALSE, kSlotMapName));
  if (!section) return {};
  std::vector<uint32_t> words;
  if (ferry::UniqueView view{MapViewOfFile(section.get(), FILE_MAP_READ, 0, 0, 128)}) {
    const uint32_t* w = static_cast<const uint32_t*>(view.get());
    words.assign(w, w + 32);
  }
  return words;
}

int wordsInUse(const std::vector<uint32_t>& words) {
  int n = 0;
  for (size_t i = 1; i < words.size(); ++i) n += words[i] != 0;
  return n;
}

bool allZero(const void* data, size_t size) {
  const unsigned char* bytes = static_cast<const unsigned char*>(data);
  for (size_t i = 0; i < size; ++i) {
    if (bytes[i] != 0) return false;
  }
  return true;
}

// A child's standard output without the CR that text mode adds to each line end.
std::string lines(std::string text) {
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
  return text;
}

// Child: allocates until refused, prints "ids: <id> ... refused: <0> handles: <n>", then
// releases them all and prints "after: <handles>".
FERRY_CHILD_ROLE(allocate_all) {
  AgentCopy agent("slot_child", catalogCompanions());
  if (!agent.setupError().empty() || agent.load() != 0 || !agent.bind().empty()) return 2;
  const AgentApi& api = agent.api();
  std::vector<int> ids;
  int id = 0;
  while ((id = api.AllocateConnection()) != 0 && ids.size() < 40) ids.push_back(id);
  std::printf("ids:");
  for (int each : ids) std::printf(" %d", each);
  std::printf(" refused: %d handles: %d\n", id, api.SlotMapHandles());
  for (int each : ids) api.ReleaseConnection(each);
  std::printf("after: %d\n", api.SlotMapHandles());
  return 0;
}

// Child: takes one id, signals ready, waits for go, releases it (the last id in use anywhere)
// and prints "id: <id> before: <handles> after: <handles> words: <in use>".
FERRY_CHILD_ROLE(release_last) {
  AgentCopy agent("slot_child2", catalogCompanions());
  if (!agent.setupError().empty() || agent.load() != 0 || !agent.bind().empty()) return 2;
  const AgentApi& api = agent.api();
  ferry::UniqueHandleNull ready(OpenEventA(EVENT_MODIFY_STATE, FALSE, kChildReady));
  ferry::UniqueHandleNull go(OpenEventA(SYNCHRONIZE, FALSE, kChildGo));
  if (!ready || !go) return 3;
  int id = api.AllocateConnection();
  SetEvent(ready.get());
  if (WaitForSingleObject(go.get(), 30000) != WAIT_OBJECT_0) return 4;
  int before = api.SlotMapHandles();
  api.ReleaseConnection(id);
  std::printf("id: %d before: %d after: %d words: %d\n", id, before, api.SlotMapHandles(),
              wordsInUse(slotWords()));
  return 0;
}

constexpr char kHostReady[] = "ferry_ag_slotmap_host_ready";
constexpr char kHostFolder[] = "C:\\ferrytest\\ag_slot_host";

// Child: a host that takes three ids, signals ready and then hangs until it is killed.
FERRY_CHILD_ROLE(take_three_and_hang) {
  AgentCopy agent("slot_host", catalogCompanions());
  if (!agent.setupError().empty() || agent.load() != 0 || !agent.bind().empty()) return 2;
  for (int i = 0; i < 3; ++i) {
    if (agent.api().AllocateConnection() == 0) return 3;
  }
  ferry::UniqueHandleNull ready(OpenEventA(EVENT_MODIFY_STATE, FALSE, kHostReady));
  if (!ready || !SetEvent(ready.get())) return 4;
  Sleep(60000);  // killed long before
  return 0;
}

class SlotMapTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(slotWords().empty()) << "a slot map exists before the test: another agent runs";
    agent_ = std::make_unique<AgentCopy>("slot_parent", catalogCompanions());
    ASSERT_EQ(agent_->setupError(), "");
    ASSERT_EQ(agent_->load(), 0u);
    ASSERT_EQ(agent_->bind(), "");
  }
  const AgentApi& api() { return agent_->api(); }
  std::unique_ptr<AgentCopy> agent_;
};

TEST_F(SlotMapTest, ThirtyOneIdsAcrossTwoProcesses) {
  std::vector<int> mine;
  for (int i = 0; i < 10; ++i) mine.push_back(api().AllocateConnection());
  for (int i = 0; i < 10; ++i) ASSERT_EQ(mine[i], i + 1) << "allocation " << i;
  EXPECT_EQ(wordsInUse(slotWords()), 10);
  EXPECT_EQ(api().SlotMapHandles(), 1) << "one section handle kept for the process";

  ProcessResult child = runProcess("\"" + selfPath() + "\" --child allocate_all");
  ASSERT_TRUE(child.started) << "error " << child.error;
  ASSERT_EQ(child.exitCode, 0u) << child.out << child.err;
  std::string expected = "ids:";
  for (int id = 11; id <= 31; ++id) expected += " " + std::to_string(id);
  expected += " refused: 0 handles: 1\nafter: 1\n";
  EXPECT_EQ(lines(child.out), expected) << "the other process gets the remaining 21 ids, then none";

  EXPECT_EQ(wordsInUse(slotWords()), 10) << "the child released its ids";
  EXPECT_EQ(api().AllocateConnection(), 11) << "ids the other process released are reused";
  EXPECT_EQ(api().FindConnection(11) != nullptr, true);
  for (int id = 1; id <= 11; ++id) api().ReleaseConnection(id);
  EXPECT_EQ(wordsInUse(slotWords()), 0);
  EXPECT_EQ(api().SlotMapHandles(), 1) << "releases keep no handle";
}

TEST_F(SlotMapTest, ThirtySecondIsRefusedAndReuseStartsZeroed) {
  for (int expected = 1; expected <= 31; ++expected) {
    ASSERT_EQ(api().AllocateConnection(), expected);
  }
  EXPECT_EQ(api().AllocateConnection(), 0) << "the 32nd connection";
  EXPECT_EQ(wordsInUse(slotWords()), 31);

  ConnectionRecord* record = api().FindConnection(7);
  ASSERT_NE(record, nullptr);
  record->traceOn = 1;
  record->connectionId = 7;
  snprintf(record->instanceName, sizeof record->instanceName, "ingres@AG9");
  // A real handle left in the record: releasing the id must close it, not forget it.
  HANDLE left = nullptr;
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &left,
                              0, FALSE, DUPLICATE_SAME_ACCESS))
      << "error " << GetLastError();
  record->account.hAccessToken.reset(left);
  api().ReleaseConnection(7);
  DWORD flags = 0;
  EXPECT_FALSE(GetHandleInformation(left, &flags)) << "the release left the record's handle open";
  EXPECT_EQ(api().FindConnection(7), nullptr) << "a released id is not in use";
  EXPECT_EQ(slotWords().at(7), 0u);
  EXPECT_EQ(api().AllocateConnection(), 7) << "the freed id is the one handed out";
  record = api().FindConnection(7);
  ASSERT_NE(record, nullptr);
  EXPECT_TRUE(allZero(record, api().RecordSize())) << "reused record not zeroed";

  for (int id : {0, -1, 32, 1000}) {
    EXPECT_EQ(api().FindConnection(id), nullptr) << "id " << id;
    api().ReleaseConnection(id);  // must neither crash nor touch a word
  }
  EXPECT_EQ(wordsInUse(slotWords()), 31);
  for (int id = 1; id <= 31; ++id) api().ReleaseConnection(id);
  EXPECT_EQ(wordsInUse(slotWords()), 0);
}

TEST_F(SlotMapTest, LastReleaseClosesOpenersHandleWhileCreatorKeepsTheSection) {
  HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, kChildReady);
  const ferry::UniqueHandleNull ownedReady(ready);
  HANDLE go = CreateEventA(nullptr, TRUE, FALSE, kChildGo);
  const ferry::UniqueHandleNull ownedGo(go);
  ASSERT_NE(ready, nullptr);
  ASSERT_NE(go, nullptr);
  ASSERT_EQ(api().AllocateConnection(), 1) << "this process creates the slot map";

  ProcessResult child;
  std::thread runner(
      [&] { child = runProcess("\"" + selfPath() + "\" --child release_last", 60000); });
  DWORD wait = WaitForSingleObject(ready, 30000);
  EXPECT_EQ(wait, WAIT_OBJECT_0) << "child did not take its id";
  EXPECT_EQ(wordsInUse(slotWords()), 2);
  api().ReleaseConnection(1);  // the child's id is now the last in use anywhere
  SetEvent(go);
  runner.join();
  ASSERT_EQ(child.exitCode, 0u) << child.out << child.err;
  EXPECT_EQ(lines(child.out), "id: 2 before: 1 after: 1 words: 0\n")
      << "the opener keeps only the handle of its allocation";

  std::vector<uint32_t> words = slotWords();
  EXPECT_EQ(words.size(), 32u) << "the creator's handle keeps the section after the opener ended";
  EXPECT_EQ(wordsInUse(words), 0);
  EXPECT_EQ(api().AllocateConnection(), 1) << "the map is consistent after the opener left";
  api().ReleaseConnection(1);

  agent_.reset();  // unloading closes the creator's handle: the section goes away
  EXPECT_TRUE(slotWords().empty()) << "section still exists after the last handle was closed";
}

// The slot map and its mutex are the agent's only when no other account made them first; the
// agent's own carry its DACL, and the mutex lives as long as the library, not one connect.
TEST_F(SlotMapTest, ObjectsOfAnotherAccountAreNotUsedAndTheAgentsCarryItsDacl) {
  agent_ = std::make_unique<AgentCopy>("slot_foreign", agentCompanions());  // with its texts
  ASSERT_EQ(agent_->setupError(), "");
  ASSERT_EQ(agent_->load(), 0u);
  ASSERT_EQ(agent_->bind(), "");
  auto connect = bound<PFN_DSAConnectAgent>(agent_->module(), "DSAConnectAgent");
  ASSERT_NE(connect, nullptr);
  ScopedAccount account({"ingres", "pw-SM", ""});
  ASSERT_EQ(account.error(), "");
  const std::string log = agent_->path("ferryman.log");
  for (const std::string name : {"ferryman_sharedmem_lock", "ferryman_sharedmem"}) {
    SCOPED_TRACE("made first by another account: " + name);
    ForeignSecurity foreign;
    ferry::UniqueHandleNull squatter(
        name == kSlotMapName ? CreateFileMappingA(INVALID_HANDLE_VALUE, foreign.attributes(),
                                                  PAGE_READWRITE, 0, 640, name.c_str())
                             : CreateMutexA(foreign.attributes(), FALSE, name.c_str()));
    ASSERT_TRUE(squatter.valid()) << "error " << GetLastError();
    uint32_t id = 0xdeadbeef;
    EXPECT_EQ(connect(0, "server@SM", "ingres", "pw-SM", &id), DSA_ERROR_FOREIGN_OBJECT);
    EXPECT_EQ(id, 0u);
    EXPECT_NE(readWholeFile(log).find("--The named object " + name +
                                      " exists already and belongs to another account; it was "
                                      "not used.\r\n"),
              std::string::npos)
        << readWholeFile(log);
    EXPECT_EQ(api().AllocateConnection(), 0) << "no id from it either";
  }
  ASSERT_EQ(api().AllocateConnection(), 1) << "once the names are free, the agent makes its own";
  {
    SCOPED_TRACE("the agent's own objects let in SYSTEM, the Administrators and its account");
    ferry::UniqueHandleNull map(OpenFileMappingA(READ_CONTROL, FALSE, kSlotMapName));
    EXPECT_EQ(kernelObjectDacl(map.get()), agentObjectDacl());
    api().ReleaseConnection(1);
    ferry::UniqueHandleNull mutex(OpenMutexA(READ_CONTROL, FALSE, "ferryman_sharedmem_lock"));
    ASSERT_TRUE(mutex.valid()) << "the mutex went with the release: error " << GetLastError();
    EXPECT_EQ(kernelObjectDacl(mutex.get()), agentObjectDacl());
  }
  agent_.reset();
  ferry::UniqueHandleNull after(OpenMutexA(SYNCHRONIZE, FALSE, "ferryman_sharedmem_lock"));
  EXPECT_FALSE(after.valid()) << "unloading the library closes the mutex";
}

TEST_F(SlotMapTest, IdsOfAHostThatDiedAreReclaimed) {
  ASSERT_EQ(api().AllocateConnection(), 1) << "this process creates the slot map";
  ferry::UniqueHandleNull ready(CreateEventA(nullptr, TRUE, FALSE, kHostReady));
  ASSERT_TRUE(ready.valid());
  std::string command = "\"" + selfPath() + "\" --child take_three_and_hang";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child{};
  ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &startup, &child))
      << "error " << GetLastError();
  ferry::UniqueProcessInformation started(child);
  ferry::UniqueHandleNull host = started.takeProcess();
  started.closeThread();
  ASSERT_EQ(WaitForSingleObject(ready.get(), 30000), WAIT_OBJECT_0) << "the host took no ids";
  EXPECT_EQ(wordsInUse(slotWords()), 4) << "id 1 here, 2 to 4 in the host";
  {
    SCOPED_TRACE("while the host runs, its ids stay taken");
    EXPECT_EQ(api().AllocateConnection(), 5);
    api().ReleaseConnection(5);
  }

  // Written into the map as others would have: id 20 by an agent that records no owner, id 21
  // by a process whose id now belongs to this one, started later.
  ferry::UniqueHandleNull section(OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, kSlotMapName));
  ASSERT_TRUE(section.valid()) << "error " << GetLastError();
  ferry::UniqueView view(MapViewOfFile(section.get(), FILE_MAP_ALL_ACCESS, 0, 0, 640));
  ASSERT_TRUE(view.valid()) << "the map has no owners behind its words: error " << GetLastError();
  auto* words = static_cast<uint32_t*>(view.get());
  struct Owner {
    uint32_t processId, reserved;
    uint64_t startTime;
  };
  auto* owners = reinterpret_cast<Owner*>(words + 32);
  EXPECT_EQ(owners[3].processId, child.dwProcessId) << "the host recorded as owner of id 3";
  EXPECT_NE(owners[3].startTime, 0u);
  words[20] = 1;
  words[21] = 1;
  owners[21] = {GetCurrentProcessId(), 0, 12345};

  ASSERT_TRUE(TerminateProcess(host.get(), 9)) << "error " << GetLastError();
  ASSERT_EQ(WaitForSingleObject(host.get(), 10000), WAIT_OBJECT_0);
  EXPECT_EQ(api().AllocateConnection(), 2) << "the killed host's first id comes back";
  for (int id : {3, 4, 21}) {
    EXPECT_EQ(words[id], 0u) << "id " << id << " not reclaimed";
    EXPECT_EQ(owners[id].processId, 0u) << "id " << id;
  }
  EXPECT_EQ(words[20], 1u) << "a slot without an owner is never reclaimed";
  EXPECT_EQ(owners[2].processId, GetCurrentProcessId()) << "the new owner of id 2";
  FILETIME created{}, exited{}, kernel{}, user{};
  ASSERT_TRUE(GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user));
  EXPECT_EQ(owners[2].startTime,
            static_cast<uint64_t>(created.dwHighDateTime) << 32 | created.dwLowDateTime);

  words[20] = 0;
  api().ReleaseConnection(1);
  api().ReleaseConnection(2);
  EXPECT_EQ(wordsInUse(slotWords()), 0);
  EXPECT_EQ(owners[2].processId, 0u) << "a release forgets the owner";
  view.reset();
  section.reset();
  host.reset();
  removeTree(kHostFolder);  // the killed host could not remove its agent copy
}

}  // namespace
}  // namespace ferry::test
