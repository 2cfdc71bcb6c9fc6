// The media side's client end (tools/media) against a server end made here as the agent makes
// its remote pipe: messages in and out with the stream's sizes, the pipe's end, and waits that
// end by their bound or by the stop event.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "media_pipe.h"
#include "remote_stream.h"
#include "unique_handle.h"

namespace ferry::test {
namespace {

using media::MediaPipe;
using media::PipeWaits;
using media::Side;

constexpr PipeWaits kWaits{/*openMs=*/10000, /*retryMs=*/20, /*messageMs=*/30000};

std::string pipeNameFor(const char* test) {
  return std::string("\\\\.\\pipe\\ferrytest-media-") + test;
}

// The agent's end: message mode, overlapped, the first instance of its name. Its operations wait
// without a stop, each at most 30 s.
class ServerEnd {
 public:
  explicit ServerEnd(const std::string& name)
      : pipe_(CreateNamedPipeA(
            name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
            PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, 65536, 65536, 0, nullptr)),
        event_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
  bool valid() const { return pipe_ && event_; }
  // 0 or the error; ERROR_PIPE_CONNECTED (a client came first) counts as connected.
  DWORD accept() {
    return io([&](OVERLAPPED* o) { return ConnectNamedPipe(pipe_.get(), o); });
  }
  DWORD write(const std::string& message) {
    return io([&](OVERLAPPED* o) {
      return WriteFile(pipe_.get(), message.data(), static_cast<DWORD>(message.size()), nullptr, o);
    });
  }
  DWORD read(std::string* message) {
    message->assign(70000, '\0');
    DWORD got = 0;
    const DWORD error = io(
        [&](OVERLAPPED* o) {
          return ReadFile(pipe_.get(), message->data(), static_cast<DWORD>(message->size()),
                          nullptr, o);
        },
        &got);
    message->resize(got);
    return error;
  }
  void close() { pipe_.reset(); }

 private:
  template <typename Start>
  DWORD io(Start start, DWORD* done = nullptr) {
    OVERLAPPED overlapped{};
    overlapped.hEvent = event_.get();
    ResetEvent(event_.get());
    if (!start(&overlapped)) {
      const DWORD error = GetLastError();
      if (error == ERROR_PIPE_CONNECTED) return 0;
      if (error != ERROR_IO_PENDING) return error;
    }
    if (WaitForSingleObject(event_.get(), 30000) != WAIT_OBJECT_0) {
      CancelIoEx(pipe_.get(), &overlapped);
    }
    DWORD transferred = 0;
    const BOOL finished = GetOverlappedResult(pipe_.get(), &overlapped, &transferred, TRUE);
    if (done != nullptr) *done = transferred;
    return finished ? 0 : GetLastError();
  }

  UniqueFile pipe_;
  UniqueHandleNull event_;
};

TEST(MediaPipe, BackupSideReadsEachMessageUntilTheAgentClosesThePipe) {
  const std::string name = pipeNameFor("backup");
  ServerEnd server(name);
  ASSERT_TRUE(server.valid()) << GetLastError();
  MediaPipe client(kWaits);
  ASSERT_EQ(client.open(name, Side::kBackup), 0u);
  ASSERT_EQ(server.accept(), 0u);
  const std::string big(remote::kBackupMessageSize, 'b');
  const std::string marker(remote::kEndOfSubstream, remote::kEndMarkerSize);
  // Written as the agent's thread writes them, each taken by the reader before the next.
  DWORD writeError = 0;
  std::thread agent([&] {
    for (const std::string& message : {std::string("abc"), big, marker, std::string(17, 'x')}) {
      if ((writeError = server.write(message)) != 0) return;
    }
  });
  struct Join {
    std::thread& thread;
    ~Join() {
      if (thread.joinable()) thread.join();  // an assertion left early
    }
  } join{agent};
  std::vector<char> buffer(remote::kBackupMessageSize, '\xbd');
  DWORD got = 0;
  ASSERT_EQ(client.readMessage(buffer.data(), static_cast<DWORD>(buffer.size()), &got), 0u);
  EXPECT_EQ(std::string(buffer.data(), got), "abc");
  ASSERT_EQ(client.readMessage(buffer.data(), static_cast<DWORD>(buffer.size()), &got), 0u);
  EXPECT_EQ(got, remote::kBackupMessageSize) << "a message of the largest size, whole";
  ASSERT_EQ(client.readMessage(buffer.data(), static_cast<DWORD>(buffer.size()), &got), 0u);
  EXPECT_TRUE(remote::isEndMarker(buffer.data(), got)) << got;
  EXPECT_EQ(client.readMessage(buffer.data(), 16, &got), static_cast<DWORD>(ERROR_MORE_DATA))
      << "17 bytes for a buffer of 16";
  ASSERT_EQ(client.readMessage(buffer.data(), static_cast<DWORD>(buffer.size()), &got), 0u)
      << "the rest of that message";
  EXPECT_EQ(got, 1u);
  agent.join();
  EXPECT_EQ(writeError, 0u);
  server.close();
  const DWORD end = client.readMessage(buffer.data(), static_cast<DWORD>(buffer.size()), &got);
  EXPECT_TRUE(media::isEndOfStream(end)) << "error " << end;
}

TEST(MediaPipe, RestoreSideWritesInRestoreMessagesAndEndsTheFileWithAnEmptyOne) {
  const std::string name = pipeNameFor("restore");
  ServerEnd server(name);
  ASSERT_TRUE(server.valid()) << GetLastError();
  const std::string data(2 * remote::kRestoreMessageSize + 4464, 'r');
  DWORD written = 1;
  DWORD ended = 1;
  std::thread media([&] {
    MediaPipe client(kWaits);
    if ((written = client.open(name, Side::kRestore)) != 0) return;
    written = client.writeData({reinterpret_cast<const uint8_t*>(data.data()), data.size()});
    ended = client.endFile();
  });
  std::vector<size_t> sizes;
  std::string message;
  const DWORD accepted = server.accept();
  for (int i = 0; i < 4 && accepted == 0 && server.read(&message) == 0; ++i) {
    sizes.push_back(message.size());
  }
  media.join();
  EXPECT_EQ(accepted, 0u);
  EXPECT_EQ(written, 0u);
  EXPECT_EQ(ended, 0u);
  const std::vector<size_t> expected = {remote::kRestoreMessageSize, remote::kRestoreMessageSize,
                                        4464, 0};
  EXPECT_EQ(sizes, expected);
}

TEST(MediaPipe, WaitsEndByTheirBoundOrByTheStop) {
  {
    SCOPED_TRACE("a pipe that never comes: the last open's error once the bound ran out");
    MediaPipe client({/*openMs=*/200, /*retryMs=*/20, /*messageMs=*/1000});
    MediaPipe::Step step = MediaPipe::Step::kMessageMode;
    EXPECT_EQ(client.open(pipeNameFor("never"), Side::kBackup, nullptr, &step),
              static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(step, MediaPipe::Step::kOpen);
    EXPECT_FALSE(client.isOpen());
  }
  UniqueHandleNull stop(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  ASSERT_TRUE(stop);
  {
    SCOPED_TRACE("the stop ends a wait for the pipe that no bound would end soon");
    SetEvent(stop.get());
    MediaPipe client({/*openMs=*/600000, /*retryMs=*/20, /*messageMs=*/1000});
    EXPECT_EQ(client.open(pipeNameFor("never"), Side::kBackup, stop.get()),
              static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    ResetEvent(stop.get());
  }
  const std::string name = pipeNameFor("waits");
  ServerEnd server(name);
  ASSERT_TRUE(server.valid()) << GetLastError();
  MediaPipe client({/*openMs=*/10000, /*retryMs=*/20, /*messageMs=*/100});
  ASSERT_EQ(client.open(name, Side::kBackup, stop.get()), 0u);
  ASSERT_EQ(server.accept(), 0u);
  char buffer[64];
  DWORD got = 0;
  EXPECT_EQ(client.readMessage(buffer, sizeof buffer, &got), static_cast<DWORD>(ERROR_TIMEOUT))
      << "no message within the bound";
  ASSERT_EQ(server.write("after the timeout"), 0u);
  ASSERT_EQ(client.readMessage(buffer, sizeof buffer, &got), 0u)
      << "a read that timed out leaves the pipe as it was";
  EXPECT_EQ(std::string(buffer, got), "after the timeout");
  SetEvent(stop.get());
  EXPECT_EQ(client.readMessage(buffer, sizeof buffer, &got),
            static_cast<DWORD>(ERROR_OPERATION_ABORTED));
}

}  // namespace
}  // namespace ferry::test
