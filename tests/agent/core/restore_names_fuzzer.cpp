// libFuzzer target: the restore's checks of what the backup server sends. A block of any size
// is checked as a header; a path and a directory (split at the first NUL) are compared. A path
// accepted inside a directory is a plain file path whose own directory is that directory.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/restore_names.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace ferry::agent;
  checkRestoreHeader(data, size, /*checkpointNeeded=*/true);
  checkRestoreHeader(data, size, /*checkpointNeeded=*/false);

  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t split = input.find('\0');
  const std::string_view path = input.substr(0, split);
  const std::string_view directory =
      split == std::string_view::npos ? std::string_view() : input.substr(split + 1);
  if (fileInDirectory(path, directory)) {
    if (!isPlainFilePath(path)) std::abort();
    if (!sameDirectory(directoryOf(path), directory)) std::abort();
  }
  if (sameDirectory(path, directory) != sameDirectory(directory, path)) std::abort();
  return 0;
}
