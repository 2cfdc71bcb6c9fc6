// Stands in for ckpdb.exe and rollforwarddb.exe in a test installation's bin folder, so that the
// agent's runs can be checked without the simulated utilities: it records its command line and
// II_CKTMPL_FILE in "<own path>.cmdline", and for a database without a catalog file it writes an
// Ingres-style error line to standard error and exits 1, as the real utilities do. The database
// "quietfail" ends it with exit code 3 and nothing written: a failure only its exit code tells.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
  char self[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, self, sizeof self);
  const std::string selfPath = self;

  char templatePath[MAX_PATH] = "";
  GetEnvironmentVariableA("II_CKTMPL_FILE", templatePath, sizeof templatePath);
  if (std::FILE* record = std::fopen((selfPath + ".cmdline").c_str(), "wb")) {
    std::fprintf(record, "%s\n%s\n", GetCommandLineA(), templatePath);
    std::fclose(record);
  }

  // <root>\ingres\bin\<program>.exe: the installation is three levels up.
  std::string root = selfPath;
  for (int level = 0; level < 3; ++level) root = root.substr(0, root.find_last_of('\\'));
  const std::string database = argc > 1 ? argv[1] : "";
  const std::string catalog = root + "\\ingres\\files\\catalog\\" + database + ".sdb";
  if (database.empty() || GetFileAttributesA(catalog.c_str()) == INVALID_FILE_ATTRIBUTES) {
    std::fprintf(stderr,
                 "Tue Dec 08 16:20:02 2026 E_DM0053_NONEXISTENT_DB Database %s does not exist.\n",
                 database.c_str());
    return 1;
  }
  return database == "quietfail" ? 3 : 0;
}
