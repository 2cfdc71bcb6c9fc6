// lookout_where_ran.exe: the program the launch tests put behind a shortcut. It writes where it
// ran and what it was given: "where_ran RECORD [ARG...]" writes its current directory, then each
// argument, one line each, into the file RECORD.
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  char directory[MAX_PATH] = "";
  GetCurrentDirectoryA(MAX_PATH, directory);
  std::FILE* record = std::fopen(argv[1], "wb");
  if (record == nullptr) return 1;
  std::fprintf(record, "%s\n", directory);
  for (int i = 2; i < argc; ++i) std::fprintf(record, "%s\n", argv[i]);
  return std::fclose(record) == 0 ? 0 : 1;
}
