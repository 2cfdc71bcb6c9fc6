// A catalog library that lacks one of the thirteen entry points (IngGetTableLocNum): the agent
// must not count it as bound.
extern "C" {
__declspec(dllexport) int IngConnect() { return 0; }
__declspec(dllexport) int IngDisconnect() { return 0; }
__declspec(dllexport) int IngSetSessionId() { return 0; }
__declspec(dllexport) int IngGetDbCount() { return 0; }
__declspec(dllexport) int IngGetDbList() { return 0; }
__declspec(dllexport) int IngGetTableCnt() { return 0; }
__declspec(dllexport) int IngGetTableList() { return 0; }
__declspec(dllexport) int IngGetJournalDest() { return 0; }
__declspec(dllexport) int IngGetDumpDest() { return 0; }
__declspec(dllexport) int IngGetDataLocNum() { return 0; }
__declspec(dllexport) int IngGetDataDest() { return 0; }
__declspec(dllexport) int IngGetTableInfo() { return 0; }
}
