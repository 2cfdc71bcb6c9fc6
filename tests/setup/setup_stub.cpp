// Stands in for the programs the setup starts: an old agent's uninstaller and the agent's
// configuration wizard. Appends its command line to "<own folder>\calls.txt" and exits with the
// number in the environment variable ST_STUB_EXIT (0 when unset).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, sizeof path);
  std::string folder(path);
  folder = folder.substr(0, folder.find_last_of('\\'));
  FILE* out = std::fopen((folder + "\\calls.txt").c_str(), "ab");
  if (out != nullptr) {
    std::fprintf(out, "%s\n", GetCommandLineA());
    std::fclose(out);
  }
  const char* code = std::getenv("ST_STUB_EXIT");
  return code != nullptr ? std::atoi(code) : 0;
}
