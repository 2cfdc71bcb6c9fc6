// Stands in for an installation utility that never finishes: the agent's time limit on
// ingprenv is tested by placing this program as <root>\ingres\bin\ingprenv.exe. It ends on its
// own after a minute so that a failed test leaves nothing running for long.
#include <windows.h>

int main() {
  Sleep(60 * 1000);
  return 0;
}
