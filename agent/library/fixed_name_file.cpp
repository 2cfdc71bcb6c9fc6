#include "library/fixed_name_file.h"

namespace ferry::agent {

UniqueFile openFixedNameFile(const char* path, DWORD access, DWORD share, DWORD flags,
                             FixedNameOutcome* outcome) {
  *outcome = FixedNameOutcome::kFailed;
  // The link itself, never what it points to. A dangling link counts as existing too.
  flags |= FILE_FLAG_OPEN_REPARSE_POINT;
  UniqueFile file(CreateFileA(path, access, share, /*security=*/nullptr, CREATE_NEW, flags,
                              /*template=*/nullptr));
  if (file) {
    *outcome = FixedNameOutcome::kOpened;
    return file;
  }
  if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) return file;
  // The name exists (a file of an earlier run, usually). It is looked at through a handle of
  // its own before anything is changed, so what is checked is what gets emptied: a name swapped
  // meanwhile changes nothing for this handle.
  file.reset(CreateFileA(path, access, share, /*security=*/nullptr, OPEN_EXISTING, flags,
                         /*template=*/nullptr));
  if (!file) return file;
  BY_HANDLE_FILE_INFORMATION info = {};
  if (!GetFileInformationByHandle(file.get(), &info)) {
    file.reset();
    return file;
  }
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 || info.nNumberOfLinks > 1) {
    file.reset();
    *outcome = FixedNameOutcome::kRefused;
    SetLastError(ERROR_CANT_ACCESS_FILE);
    return file;
  }
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    // What CREATE_ALWAYS says of a directory in the file's place.
    file.reset();
    SetLastError(ERROR_ACCESS_DENIED);
    return file;
  }
  // Emptied as CREATE_ALWAYS would have.
  if (SetFilePointer(file.get(), 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER ||
      !SetEndOfFile(file.get())) {
    file.reset();
    return file;
  }
  *outcome = FixedNameOutcome::kOpened;
  return file;
}

}  // namespace ferry::agent
