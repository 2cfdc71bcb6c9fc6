#include "ingsim/symbol_file.h"

#include "ingsim/win_util.h"

namespace ingsim {
namespace {

// The lock byte: 2^62, far beyond any symbol table.
constexpr DWORD kLockOffsetHigh = 0x40000000;

class FileLock {
 public:
  FileLock(HANDLE file, bool exclusive) : file_(file) {
    OVERLAPPED where{};
    where.OffsetHigh = kLockOffsetHigh;
    locked_ = LockFileEx(file_, exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0, 0, 1, 0, &where) != 0;
    if (!locked_) error_ = GetLastError();
  }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  ~FileLock() {
    if (!locked_) return;
    DWORD saved = GetLastError();
    OVERLAPPED where{};
    where.OffsetHigh = kLockOffsetHigh;
    UnlockFileEx(file_, 0, 1, 0, &where);
    SetLastError(saved);
  }
  bool locked() const { return locked_; }
  DWORD error() const { return error_; }

 private:
  HANDLE file_;
  bool locked_ = false;
  DWORD error_ = 0;
};

std::string readAll(HANDLE file, const std::string& path, std::string* contents) {
  contents->clear();
  LARGE_INTEGER start{};
  SetFilePointerEx(file, start, nullptr, FILE_BEGIN);
  char buffer[16384];
  DWORD got = 0;
  for (;;) {
    if (!ReadFile(file, buffer, sizeof buffer, &got, nullptr)) {
      return win32Error("reading " + path, GetLastError());
    }
    if (got == 0) return "";
    contents->append(buffer, got);
  }
}

UniqueFile openTable(const std::string& path, bool forUpdate) {
  return UniqueFile(CreateFileA(path.c_str(),
                                forUpdate ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, /*security=*/nullptr,
                                forUpdate ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                /*template=*/nullptr));
}

}  // namespace

std::string symbolTablePath(const std::string& root) {
  return root + "\\ingres\\files\\symbol.tbl";
}

std::string readSymbolTable(const std::string& root, core::SymbolTable* table) {
  *table = core::SymbolTable{};
  const std::string path = symbolTablePath(root);
  UniqueFile file = openTable(path, /*forUpdate=*/false);
  if (!file.valid()) {
    DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) return "";
    return win32Error("opening " + path, error);
  }
  FileLock lock(file.get(), /*exclusive=*/false);
  if (!lock.locked()) return win32Error("locking " + path, lock.error());
  std::string contents;
  std::string error = readAll(file.get(), path, &contents);
  if (!error.empty()) return error;
  *table = core::parseSymbolTable(contents);
  return "";
}

std::string updateSymbolTable(const std::string& root,
                              const std::function<std::string(core::SymbolTable*)>& change) {
  const std::string path = symbolTablePath(root);
  UniqueFile file = openTable(path, /*forUpdate=*/true);
  if (!file.valid()) return win32Error("opening " + path, GetLastError());
  FileLock lock(file.get(), /*exclusive=*/true);
  if (!lock.locked()) return win32Error("locking " + path, lock.error());
  std::string contents;
  std::string error = readAll(file.get(), path, &contents);
  if (!error.empty()) return error;
  core::SymbolTable table = core::parseSymbolTable(contents);
  error = change(&table);
  if (!error.empty()) return error;
  const std::string image = core::serializeSymbolTable(table);
  LARGE_INTEGER start{};
  DWORD written = 0;
  if (!SetFilePointerEx(file.get(), start, nullptr, FILE_BEGIN) ||
      !WriteFile(file.get(), image.data(), static_cast<DWORD>(image.size()), &written, nullptr) ||
      written != image.size() || !SetEndOfFile(file.get())) {
    return win32Error("writing " + path, GetLastError());
  }
  return "";
}

}  // namespace ingsim
