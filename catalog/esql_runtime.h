// The Ingres embedded-SQL runtime as the catalog library calls it (oiembdnt.dll).
//
// Conventions: C linkage, the platform's default calling convention; integers are 32-bit (i4),
// indicator variables 16-bit (i2). Every statement starts with IIsqInit(&sqlca), which names the
// communication area that the following calls report into until the next IIsqInit; results come
// back in sqlca.sqlcode (0 success, 100 no (more) rows, negative an error), never by exception.
// Host variables: type 30 is a 4-byte integer, type 32 a NUL-terminated character string (length
// 0 on input: up to the NUL; on output: the most characters stored, the target holds one more).
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" {

// The SQL communication area. Only its layout up to sqlerrm and its size are relied on.
struct IISQLCA {
  char sqlcaid[8];
  int32_t sqlcabc;
  int32_t sqlcode;
  struct {
    int16_t sqlerrml;
    char sqlerrmc[70];
  } sqlerrm;
  char sqlerrp[8];
  int32_t sqlerrd[6];
  struct {
    char sqlwarn0, sqlwarn1, sqlwarn2, sqlwarn3, sqlwarn4, sqlwarn5, sqlwarn6, sqlwarn7;
  } sqlwarn;
  char sqlext[8];
};
static_assert(offsetof(IISQLCA, sqlcode) == 12, "sqlcode lies at byte 12 of the sqlca");
static_assert(offsetof(IISQLCA, sqlerrm) == 16);
static_assert(sizeof(IISQLCA) == 136);

enum : int32_t {
  IISQ_TYPE_INT = 30,       // 4-byte integer host variable
  IISQ_TYPE_CHAR = 32,      // NUL-terminated character string host variable
  IISQ_ATTR_SESSION = 11,   // IILQssSetSqlio attribute: the current session
  IISQ_MODE_SINGLETON = 1,  // IIsqMods: a select that fills host variables from one row
};

// Session statements.
void IIsqInit(IISQLCA* sqlca);
void IILQsidSessID(int32_t sessionId);
void IIsqConnect(int32_t language, const char* dbName, const char* a1, const char* a2,
                 const char* a3, const char* a4, const char* a5, const char* a6, const char* a7,
                 const char* a8, const char* a9, const char* a10, const char* a11, const char* a12,
                 const char* a13);
void IIsqDisconnect(void);
void IILQssSetSqlio(int32_t attribute, int16_t* indicator, int32_t isVariable, int32_t type,
                    int32_t length, void* data);

// Singleton select.
void IIsqMods(int32_t mode);
void IIwritio(int32_t trim, int16_t* indicator, int32_t isVariable, int32_t type, int32_t length,
              const char* text);
void IIputdomio(int16_t* indicator, int32_t isVariable, int32_t type, int32_t length,
                const void* data);
void IIretinit(const char* file, int32_t line);
int32_t IInextget(void);
void IIgetdomio(int16_t* indicator, int32_t isVariable, int32_t type, int32_t length, void* target);
void IIsqFlush(const char* file, int32_t line);

// Cursors.
void IIcsOpen(const char* name, int32_t id1, int32_t id2);
void IIcsQuery(const char* name, int32_t id1, int32_t id2);
int32_t IIcsRetrieve(const char* name, int32_t id1, int32_t id2);
void IIcsGetio(int16_t* indicator, int32_t isVariable, int32_t type, int32_t length, void* target);
void IIcsERetrieve(void);
void IIcsClose(const char* name, int32_t id1, int32_t id2);

}  // extern "C"
