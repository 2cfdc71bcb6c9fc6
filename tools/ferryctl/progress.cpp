#include "progress.h"

#include <windows.h>

#include <io.h>

#include <cstdio>

#include "core/output_format.h"

namespace ferry::ctl {

Progress::Progress() : enabled_(_isatty(_fileno(stderr)) != 0), start_(GetTickCount64()) {}

double Progress::seconds() const { return static_cast<double>(GetTickCount64() - start_) / 1000.0; }

void Progress::onFileBegin(const archive::ObjectHeader&) { show(false); }

void Progress::onData(uint64_t bytes) {
  bytes_ += bytes;
  show(false);
}

void Progress::onFileEnd(uint64_t) {
  ++files_;
  show(false);
}

void Progress::done() {
  if (!enabled_) return;
  show(true);
  std::fputc('\n', stderr);
  lastWidth_ = 0;
}

void Progress::show(bool force) {
  if (!enabled_) return;
  uint64_t now = GetTickCount64();
  if (!force && now - lastShown_ < 250) return;
  lastShown_ = now;
  std::string line = progressLine(bytes_, files_, seconds());
  size_t width = line.size();
  if (width < lastWidth_) line.append(lastWidth_ - width, ' ');  // wipe a longer line
  lastWidth_ = width;
  std::fprintf(stderr, "\r%s", line.c_str());
  std::fflush(stderr);
}

}  // namespace ferry::ctl
