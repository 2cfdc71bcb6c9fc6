// An agent library that lacks DSADisconnectAgent: the console must refuse it at load, naming
// that entry point, instead of failing later in the middle of a command.
#include <windows.h>

#include <cstdint>

extern "C" __declspec(dllexport) uint32_t
    DSAConnectAgent(uint32_t, const char*, const char*, const char*, uint32_t* connectionId) {
  *connectionId = 0;
  return 85;
}

extern "C" __declspec(dllexport) uint32_t
    DSAGetError(uint32_t, uint32_t, char* buffer, uint32_t* length) {
  buffer[0] = '\0';
  *length = 0;
  return 0;
}
