// The benchmark's passes: the agent's backup and restore, local and remote, each timed by what
// its time went to; the direct passes over the same files that they are measured against; and
// the floors (the remote pipe alone, an extractor's bare start and end).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "agent_library.h"
#include "bench_base.h"
#include "ferryman.h"
#include "media_pipe.h"

namespace ferry::bench {

// Where one pass spent its time. The agent's passes fill every field; the direct ones the
// streaming time and the work per file (open, flush, close).
struct Pass {
  uint64_t bytes = 0;
  uint64_t calls = 0;  // the calls or messages that carried data
  size_t files = 0;
  double stream = 0;     // in the calls that carried data
  double perFile = 0;    // headers, file ends, opens and closes
  double locations = 0;  // the changes of location and the end of the last one
  int locationEvents = 0;
  double fixed = 0;  // the utility's start check and the end of its run
};

// A file the agent delivered: its header (given back to the agent by the restores) and size.
struct DeliveredFile {
  std::vector<uint8_t> header;
  std::string path;
  uint64_t bytes = 0;
};

class Bench {
 public:
  Bench(const ctl::AgentEntryPoints& agent, uint8_t* buffer) : agent_(agent), buffer_(buffer) {}

  Pass backup(bool remote);
  Pass restore(bool remote);
  Pass directRead();
  Pass directWrite();
  // The floor of the remote paths: `bytes` in messages of `messageSize` through a pipe made as
  // the agent makes its remote pipe, one thread writing as the agent does, this one reading.
  Pass pipeAlone(size_t messageSize, uint64_t bytes);

 private:
  // A connection of the agent's, let go when a failure leaves the pass early.
  class Connection {
   public:
    Connection(const ctl::AgentEntryPoints& agent, uint32_t id) : agent_(agent), id_(id) {}
    ~Connection() {
      if (id_ != 0) agent_.disconnectAgent(id_);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    uint32_t id() const { return id_; }
    // The disconnect of a pass that went well: its result.
    DSA_RESULT close() {
      const DSA_RESULT result = agent_.disconnectAgent(id_);
      id_ = 0;
      return result;
    }

   private:
    const ctl::AgentEntryPoints& agent_;
    uint32_t id_;
  };
  uint32_t connect();
  std::string agentText(DSA_RESULT code) const;
  [[noreturn]] void agentFailed(const std::string& call, DSA_RESULT code) const {
    throw Failure{call + ": " + agentText(code)};
  }
  void noteFile(const uint8_t* header, Pass* pass, double seconds, const std::string& previous);

  // A backup's steps.
  struct BackupRun {
    uint32_t connection;
    uint32_t backupId;
    media::MediaPipe* pipe;  // null: the data come through DSARead
  };
  // What one read of the stream gave: from DSARead, or a message of the remote pipe.
  struct Piece {
    DSA_RESULT rc = 0;
    uint32_t count = 0;
    bool closed = false;  // the remote pipe ended
    double seconds = 0;
  };
  void beginBackup(uint32_t connection, bool remote, uint32_t* backupId, uint32_t* remoteArg,
                   Pass* pass);
  Piece readPiece(const BackupRun& run, bool fromPipe, bool inFile);
  DSA_RESULT streamBackup(const BackupRun& run, Pass* pass);
  DSA_RESULT pipeEnded(const BackupRun& run, bool inFile, double seconds, Pass* pass);

  // A restore's steps, one session per delivered file.
  void restoreFile(uint32_t connection, size_t index, media::MediaPipe* pipe, Pass* pass);
  void beginSession(uint32_t connection, media::MediaPipe* pipe);
  void giveHeader(uint32_t connection, size_t index, Pass* pass);
  void giveData(uint32_t connection, const DeliveredFile& file, media::MediaPipe* pipe, Pass* pass);
  void endSession(uint32_t connection, const DeliveredFile& file, media::MediaPipe* pipe);

  const ctl::AgentEntryPoints& agent_;
  uint8_t* buffer_;
  std::vector<DeliveredFile> files_;
};

// What a change of location cannot avoid under Wine: the utility starts the next location's
// extractor as a new process once the last one has ended. Measured as the time from the start of
// the extractor (with no arguments: it prints its usage and ends) to its end; milliseconds.
double extractorStartAndEnd();

}  // namespace ferry::bench
