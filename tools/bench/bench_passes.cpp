#include "bench_passes.h"

#include <algorithm>
#include <cstring>

#include "bench_base.h"
#include "object_header.h"
#include "process_information.h"
#include "remote_stream.h"
#include "unique_handle.h"

namespace ferry::bench {
namespace {

// Opens the remote pipe (or the floor's pipe) as the media side's client.
void openPipe(media::MediaPipe& pipe, const std::string& name, media::Side side) {
  media::MediaPipe::Step step = media::MediaPipe::Step::kOpen;
  if (DWORD error = pipe.open(name, side, /*stopEvent=*/nullptr, &step); error != 0) {
    throw Failure{(step == media::MediaPipe::Step::kOpen ? "cannot open " + name
                                                         : "cannot read " + name + " by messages") +
                  ": error " + std::to_string(error)};
  }
}

}  // namespace

std::string Bench::agentText(DSA_RESULT code) const {
  char text[1300] = {};
  uint32_t length = 0;
  agent_.getError(0, code, text, &length);
  return std::to_string(code) + ": " + text;
}

uint32_t Bench::connect() {
  uint32_t connection = 0;
  const std::string instance = std::string("server@") + kCode;
  if (DSA_RESULT rc = agent_.connectAgent(0, instance.c_str(), kAccount, kPassword, &connection)) {
    agentFailed("DSAConnectAgent", rc);
  }
  return connection;
}

// A header of the backup: the first file of a location other than the previous file's is a
// change of location, every other header is work per file.
void Bench::noteFile(const uint8_t* header, Pass* pass, double seconds,
                     const std::string& previous) {
  DeliveredFile file;
  file.header.assign(header, header + header::kSize);
  file.path = std::string(header::pathOf(header));
  if (!previous.empty() && folderOf(previous) != folderOf(file.path)) {
    pass->locations += seconds;
    ++pass->locationEvents;
  } else {
    pass->perFile += seconds;
  }
  files_.push_back(std::move(file));
  ++pass->files;
}

Pass Bench::backup(bool remote) {
  Pass pass;
  Connection session(agent_, connect());
  const uint32_t connection = session.id();
  uint32_t backupId = 0;
  uint32_t remoteArg = 0;
  beginBackup(connection, remote, &backupId, &remoteArg, &pass);
  files_.clear();
  media::MediaPipe pipe(kPipeWaits);
  if (remote) {
    openPipe(pipe, remote::pipeName(kCode, static_cast<int>(backupId), static_cast<int>(remoteArg)),
             media::Side::kBackup);
  }
  const DSA_RESULT failure = streamBackup({connection, backupId, remote ? &pipe : nullptr}, &pass);
  pipe.close();
  const double at = now();
  const DSA_RESULT ended = agent_.endBackup(connection, failure);
  pass.fixed += now() - at;
  session.close();
  if (failure != 0) agentFailed("DSARead", failure);
  if (ended != 0) agentFailed("DSAEndBackup", ended);
  return pass;
}

// DSABeginBackup of the database's data: a fixed wait (the checkpoint run's start check).
void Bench::beginBackup(uint32_t connection, bool remote, uint32_t* backupId, uint32_t* remoteArg,
                        Pass* pass) {
  std::string objectName = std::string(kDatabase) + ".DATA";
  std::vector<char> name(objectName.begin(), objectName.end());
  name.push_back('\0');
  const double at = now();
  const uint32_t options = remote ? DSA_OPTION_REMOTE : 0;
  if (DSA_RESULT rc = agent_.beginBackup(connection, name.data(), options, backupId, remoteArg)) {
    agent_.endBackup(connection, rc);
    agentFailed("DSABeginBackup", rc);
  }
  pass->fixed += now() - at;
}

Bench::Piece Bench::readPiece(const BackupRun& run, bool fromPipe, bool inFile) {
  Piece piece;
  piece.count = kBufferSize;
  const double at = now();
  if (!fromPipe) {
    piece.rc = agent_.read(run.connection, run.backupId, 0, buffer_, &piece.count);
  } else {
    DWORD got = 0;
    const DWORD error = run.pipe->readMessage(buffer_, remote::kBackupMessageSize, &got);
    if (media::isEndOfStream(error)) {
      piece.closed = true;
    } else if (error != 0) {
      throw Failure{"reading the remote pipe: error " + std::to_string(error)};
    } else if (inFile && remote::isEndMarker(buffer_, got)) {
      piece.rc = DSA_END_OF_OBJECT;
    }
    piece.count = got;
  }
  piece.seconds = now() - at;
  return piece;
}

// The backup's stream to its end: 0, or the failure to end the backup with.
DSA_RESULT Bench::streamBackup(const BackupRun& run, Pass* pass) {
  bool inFile = false;
  std::string previous;
  // The first header always comes from DSARead; a remote backup's other pieces from the pipe.
  for (bool first = true;; first = false) {
    const Piece piece = readPiece(run, run.pipe != nullptr && !first, inFile);
    if (piece.closed) return pipeEnded(run, inFile, piece.seconds, pass);
    if (piece.rc == DSA_END_OF_OBJECT) {
      inFile = false;
      pass->perFile += piece.seconds;
      continue;
    }
    if (piece.rc != 0) return piece.rc;
    if (!inFile) {
      if (piece.count == 0) {  // the end of the last location
        pass->locations += piece.seconds;
        ++pass->locationEvents;
        return 0;
      }
      noteFile(buffer_, pass, piece.seconds, previous);
      previous = files_.back().path;
      inFile = true;
      continue;
    }
    pass->stream += piece.seconds;
    pass->bytes += piece.count;
    files_.back().bytes += piece.count;
    ++pass->calls;
  }
}

// The remote pipe's end between files: the agent says how the object went.
DSA_RESULT Bench::pipeEnded(const BackupRun& run, bool inFile, double seconds, Pass* pass) {
  pass->locations += seconds;
  const double at = now();
  uint32_t count = kBufferSize;
  const DSA_RESULT rc = agent_.read(run.connection, run.backupId, 0, buffer_, &count);
  pass->locations += now() - at;
  ++pass->locationEvents;
  if (rc != 0) return rc;
  return inFile ? DSA_ERROR_REMOTE_STREAM : 0;
}

Pass Bench::restore(bool remote) {
  if (files_.empty()) throw Failure{"no backup to restore"};
  Pass pass;
  Connection session(agent_, connect());
  media::MediaPipe pipe(kPipeWaits);
  for (size_t i = 0; i < files_.size(); ++i) {
    restoreFile(session.id(), i, remote ? &pipe : nullptr, &pass);
  }
  const double at = now();
  // The disconnect ends the data restore: the last release and the roll forward's end.
  if (DSA_RESULT rc = session.close()) agentFailed("DSADisconnectAgent", rc);
  pass.fixed += now() - at;
  return pass;
}

// One restore session: its begin (and the remote pipe's open), the header, the data, the end.
void Bench::restoreFile(uint32_t connection, size_t index, media::MediaPipe* pipe, Pass* pass) {
  const DeliveredFile& file = files_[index];
  double at = now();
  beginSession(connection, pipe);
  pass->perFile += now() - at;
  giveHeader(connection, index, pass);
  giveData(connection, file, pipe, pass);
  at = now();
  endSession(connection, file, pipe);
  pass->perFile += now() - at;
  ++pass->files;
}

void Bench::beginSession(uint32_t connection, media::MediaPipe* pipe) {
  const std::string objectName = std::string(kDatabase) + ".DATA";
  uint32_t restoreId = 0;
  uint32_t ioUnitId = 0;
  const uint32_t options = pipe != nullptr ? DSA_OPTION_REMOTE : 0;
  if (DSA_RESULT rc =
          agent_.beginRestore(connection, objectName.c_str(), options, &restoreId, &ioUnitId)) {
    agentFailed("DSABeginRestore", rc);
  }
  if (pipe != nullptr) {
    openPipe(*pipe,
             remote::pipeName(kCode, static_cast<int>(restoreId), static_cast<int>(ioUnitId)),
             media::Side::kRestore);
  }
}

// The header through DSAWrite: the first is the roll forward's start, the first of another
// location than the file before a change of location, any other work per file.
void Bench::giveHeader(uint32_t connection, size_t index, Pass* pass) {
  const DeliveredFile& file = files_[index];
  std::memcpy(buffer_, file.header.data(), file.header.size());
  uint32_t count = static_cast<uint32_t>(file.header.size());
  const double at = now();
  if (DSA_RESULT rc = agent_.write(connection, 0, 0, buffer_, &count)) {
    agentFailed("DSAWrite(header of " + file.path + ")", rc);
  }
  const double seconds = now() - at;
  if (index == 0) {
    pass->fixed += seconds;
  } else if (folderOf(files_[index - 1].path) != folderOf(file.path)) {
    pass->locations += seconds;
    ++pass->locationEvents;
  } else {
    pass->perFile += seconds;
  }
}

// The data given: whatever the buffer holds (the restore overwrites the database's files),
// through DSAWrite a buffer at a time or on the remote pipe a message at a time.
void Bench::giveData(uint32_t connection, const DeliveredFile& file, media::MediaPipe* pipe,
                     Pass* pass) {
  std::memset(buffer_, 0x5a, kBufferSize);
  const size_t block = pipe != nullptr ? remote::kRestoreMessageSize : kBufferSize;
  for (uint64_t left = file.bytes; left > 0;) {
    const DWORD size = static_cast<DWORD>(std::min<uint64_t>(left, block));
    const double at = now();
    if (pipe != nullptr) {
      if (DWORD error = pipe->writeMessage(buffer_, size); error != 0) {
        throw Failure{"writing the remote pipe: error " + std::to_string(error)};
      }
    } else {
      uint32_t n = size;
      if (DSA_RESULT rc = agent_.write(connection, 0, 0, buffer_, &n)) {
        agentFailed("DSAWrite(" + file.path + ")", rc);
      }
    }
    pass->stream += now() - at;
    pass->bytes += size;
    ++pass->calls;
    left -= size;
  }
}

void Bench::endSession(uint32_t connection, const DeliveredFile& file, media::MediaPipe* pipe) {
  if (pipe != nullptr) {
    if (DWORD error = pipe->endFile(); error != 0) {
      throw Failure{"writing the end of a file on the remote pipe: error " + std::to_string(error)};
    }
  }
  if (DSA_RESULT rc = agent_.endRestore(connection, 0)) {
    agentFailed("DSAEndRestore(" + file.path + ")", rc);
  }
  if (pipe != nullptr) pipe->close();
}

Pass Bench::directRead() {
  Pass pass;
  for (const DeliveredFile& delivered : files_) {
    double at = now();
    // As the agent opens a file it backs up.
    UniqueFile file(CreateFileA(
        delivered.path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
        OPEN_EXISTING,
        FILE_FLAG_NO_BUFFERING | FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file) {
      throw Failure{"cannot open " + delivered.path + ": error " + std::to_string(GetLastError())};
    }
    pass.perFile += now() - at;
    for (;;) {
      DWORD got = 0;
      at = now();
      if (!ReadFile(file.get(), buffer_, kBufferSize, &got, nullptr)) {
        throw Failure{"cannot read " + delivered.path + ": error " +
                      std::to_string(GetLastError())};
      }
      if (got == 0) break;
      pass.stream += now() - at;
      pass.bytes += got;
      ++pass.calls;
    }
    at = now();
    file.reset();
    pass.perFile += now() - at;
    ++pass.files;
  }
  return pass;
}

Pass Bench::directWrite() {
  Pass pass;
  std::memset(buffer_, 0x5a, kBufferSize);
  for (const DeliveredFile& delivered : files_) {
    // Beside the database's file, as the agent writes it, and with the agent's flags.
    const std::string path = delivered.path + ".direct";
    double at = now();
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                CREATE_ALWAYS,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) throw Failure{"cannot create " + path + ": error " + std::to_string(GetLastError())};
    pass.perFile += now() - at;
    for (uint64_t left = delivered.bytes; left > 0;) {
      const DWORD size = static_cast<DWORD>(std::min<uint64_t>(left, kBufferSize));
      DWORD written = 0;
      at = now();
      if (!WriteFile(file.get(), buffer_, size, &written, nullptr) || written != size) {
        throw Failure{"cannot write " + path + ": error " + std::to_string(GetLastError())};
      }
      pass.stream += now() - at;
      pass.bytes += size;
      ++pass.calls;
      left -= size;
    }
    at = now();
    FlushFileBuffers(file.get());
    file.reset();
    pass.perFile += now() - at;
    DeleteFileA(path.c_str());
    ++pass.files;
  }
  return pass;
}

Pass Bench::pipeAlone(size_t messageSize, uint64_t bytes) {
  const std::string name = "\\\\.\\pipe\\ferrybench-floor";
  UniqueFile server(CreateNamedPipeA(
      name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
      PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, static_cast<DWORD>(messageSize),
      static_cast<DWORD>(messageSize), 0, nullptr));
  if (!server) throw Failure{"cannot create " + name + ": error " + std::to_string(GetLastError())};
  struct Writer {
    HANDLE pipe;
    size_t messageSize;
    uint64_t bytes;
    DWORD error = 0;
    static DWORD WINAPI run(void* parameter) {
      auto* self = static_cast<Writer*>(parameter);
      std::vector<uint8_t> data(self->messageSize, 0x5a);
      UniqueHandleNull event(CreateEventA(nullptr, FALSE, FALSE, nullptr));
      OVERLAPPED overlapped{};
      overlapped.hEvent = event.get();
      if (!ConnectNamedPipe(self->pipe, &overlapped) && GetLastError() == ERROR_IO_PENDING) {
        if (WaitForSingleObject(event.get(), kPipeWaitMs) != WAIT_OBJECT_0) {
          self->error = ERROR_TIMEOUT;
          return 0;
        }
      }
      for (uint64_t left = self->bytes; left > 0;) {
        const DWORD size = static_cast<DWORD>(std::min<uint64_t>(left, self->messageSize));
        overlapped = OVERLAPPED{};
        overlapped.hEvent = event.get();
        DWORD done = 0;
        if (!WriteFile(self->pipe, data.data(), size, nullptr, &overlapped) &&
            GetLastError() != ERROR_IO_PENDING) {
          self->error = GetLastError();
          return 0;
        }
        if (WaitForSingleObject(event.get(), kPipeWaitMs) != WAIT_OBJECT_0 ||
            !GetOverlappedResult(self->pipe, &overlapped, &done, FALSE) || done != size) {
          self->error = ERROR_WRITE_FAULT;
          return 0;
        }
        left -= size;
      }
      FlushFileBuffers(self->pipe);
      DisconnectNamedPipe(self->pipe);
      return 0;
    }
  } writer{server.get(), messageSize, bytes};
  UniqueHandleNull thread(CreateThread(nullptr, 0, Writer::run, &writer, 0, nullptr));
  if (!thread)
    throw Failure{"cannot start the pipe writer: error " + std::to_string(GetLastError())};
  Pass pass;
  {
    media::MediaPipe client(kPipeWaits);
    openPipe(client, name, media::Side::kBackup);
    for (;;) {
      DWORD got = 0;
      const double at = now();
      const DWORD error = client.readMessage(buffer_, static_cast<DWORD>(messageSize), &got);
      if (media::isEndOfStream(error)) break;
      if (error != 0) throw Failure{"reading " + name + ": error " + std::to_string(error)};
      pass.stream += now() - at;
      pass.bytes += got;
      ++pass.calls;
    }
  }
  if (WaitForSingleObject(thread.get(), kPipeWaitMs) != WAIT_OBJECT_0 || writer.error != 0) {
    throw Failure{"the pipe writer failed: error " + std::to_string(writer.error)};
  }
  return pass;
}

double extractorStartAndEnd() {
  std::string command = std::string(kAgentFolder) + "\\siphon.exe";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;  // its usage text goes nowhere
  UniqueProcessInformation process;
  const double at = now();
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                      nullptr, &startup, process.put())) {
    throw Failure{"cannot start " + command + ": error " + std::to_string(GetLastError())};
  }
  if (WaitForSingleObject(process.process(), kPipeWaitMs) != WAIT_OBJECT_0) {
    TerminateProcess(process.process(), 1);
    throw Failure{command + " did not end"};
  }
  return (now() - at) * 1e3;
}

}  // namespace ferry::bench
