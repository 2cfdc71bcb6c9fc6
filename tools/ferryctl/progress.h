// The progress of a backup or restore on standard error, only when standard error is a
// terminal (a script or a test sees nothing); rewritten in place at most four times a second.
#pragma once

#include <cstdint>
#include <string>

#include "core/backup_stream.h"

namespace ferry::ctl {

class Progress final : public BackupObserver {
 public:
  Progress();
  // Seconds since the progress began.
  double seconds() const;
  bool shown() const { return enabled_; }

  void onFileBegin(const archive::ObjectHeader& header) override;
  void onData(uint64_t bytes) override;
  void onFileEnd(uint64_t fileBytes) override;
  // The last line, ended, so that what follows starts on a line of its own.
  void done();

 private:
  void show(bool force);

  bool enabled_;
  uint64_t start_;
  uint64_t lastShown_ = 0;
  uint64_t bytes_ = 0;
  uint64_t files_ = 0;
  size_t lastWidth_ = 0;
};

}  // namespace ferry::ctl
