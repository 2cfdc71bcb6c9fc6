/* minimal_host.c: the least a backup server's host process does with the agent, in plain C.
 *
 *   minimal_host AGENT_DLL INSTANCE ACCOUNT DATABASE FOLDER backup|restore
 *
 * The password is the value of the environment variable MINIMAL_HOST_PASSWORD. "backup" saves
 * the database's data, configuration and journals, on one connection and in that order (the
 * configuration carries the checkpoint number of the data backup before it), into
 * FOLDER\data.stream, FOLDER\config.stream and FOLDER\journals.stream. "restore" replays them:
 * journals and configuration before data, each object on a connection of its own, one restore
 * session per file. A stream file holds, per file, its 1024-byte object header, then its data
 * as blocks of a 32-bit length and the bytes, then a length of 0.
 *
 * Exit codes: 0 done, 1 the agent failed (its code and text are printed), 2 usage, 3 the agent
 * library could not be loaded, 4 a stream file could not be written or read. See
 * docs/integrating.md for the rules this program follows. */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "ferryman.h"

#define BUFFER_SIZE (1024u * 1024u) /* a multiple of the sector size: files are read unbuffered */

static PFN_DSAConnectAgent connectAgent;
static PFN_DSADisconnectAgent disconnectAgent;
static PFN_DSAGetError getError;
static PFN_DSABeginBackup beginBackup;
static PFN_DSARead readObject;
static PFN_DSAEndBackup endBackup;
static PFN_DSABeginRestore beginRestore;
static PFN_DSAWrite writeObject;
static PFN_DSAEndRestore endRestore;

static const char* instance;
static const char* account;
static char password[512];
static unsigned char* buffer; /* page-aligned, from VirtualAlloc */

/* Prints the agent's text for a failed call and returns 1. */
static int agentFailed(const char* call, DSA_RESULT code) {
  char text[1300] = "";
  uint32_t length = 0;
  getError(0, code, text, &length);
  fprintf(stderr, "minimal_host: %s failed: %lu: %s\n", call, (unsigned long)code, text);
  return 1;
}

static int bindEntryPoints(HMODULE agent) {
  /* GetProcAddress gives a generic function pointer; each is converted to its entry point's type.
   */
#define BIND(target, type, name)                                 \
  target = (type)(void (*)(void))GetProcAddress(agent, name);    \
  if (target == NULL) {                                          \
    fprintf(stderr, "minimal_host: the agent lacks %s\n", name); \
    return 0;                                                    \
  }
  BIND(connectAgent, PFN_DSAConnectAgent, "DSAConnectAgent")
  BIND(disconnectAgent, PFN_DSADisconnectAgent, "DSADisconnectAgent")
  BIND(getError, PFN_DSAGetError, "DSAGetError")
  BIND(beginBackup, PFN_DSABeginBackup, "DSABeginBackup")
  BIND(readObject, PFN_DSARead, "DSARead")
  BIND(endBackup, PFN_DSAEndBackup, "DSAEndBackup")
  BIND(beginRestore, PFN_DSABeginRestore, "DSABeginRestore")
  BIND(writeObject, PFN_DSAWrite, "DSAWrite")
  BIND(endRestore, PFN_DSAEndRestore, "DSAEndRestore")
#undef BIND
  return 1;
}

static int connectTo(uint32_t* id) {
  DSA_RESULT rc = connectAgent(0, instance, account, password, id);
  return rc == DSA_OK ? 0 : agentFailed("DSAConnectAgent", rc);
}

/* A data restore ends at the disconnect: its result says whether the roll forward completed. */
static int disconnectFrom(uint32_t id) {
  DSA_RESULT rc = disconnectAgent(id);
  return rc == DSA_OK ? 0 : agentFailed("DSADisconnectAgent", rc);
}

static int put(FILE* file, const void* bytes, size_t size) {
  return fwrite(bytes, 1, size, file) == size;
}

/* One object's stream, from DSABeginBackup to DSAEndBackup, into `path`. */
static int backupObject(uint32_t id, const char* objectName, const char* path) {
  char name[300];
  uint32_t backupId = 0, remoteArg = 0, count, zero = 0;
  int inFile = 0, ok = 1, files = 0;
  DSA_RESULT rc, ended;
  FILE* out = fopen(path, "wb");
  if (out == NULL) {
    fprintf(stderr, "minimal_host: cannot create %s\n", path);
    return 4;
  }
  snprintf(name, sizeof name, "%s", objectName); /* the agent cuts a dotted name at its '.' */
  rc = beginBackup(id, name, 0, &backupId, &remoteArg);
  if (rc != DSA_OK) {
    fclose(out);
    endBackup(id, rc); /* releases what the failed begin left; 9 "nothing begun" is expected */
    return agentFailed("DSABeginBackup", rc);
  }
  for (;;) {
    count = BUFFER_SIZE;
    rc = readObject(id, backupId, 0, buffer, &count);
    if (rc == DSA_END_OF_OBJECT && inFile) { /* the end of one file */
      ok = ok && put(out, &zero, sizeof zero);
      inFile = 0;
      continue;
    }
    if (rc != DSA_OK) break;
    if (!inFile && count == 0) break;                 /* the end of the object */
    if (!inFile && count == DSA_OBJECT_HEADER_SIZE) { /* the header of the next file */
      ok = ok && put(out, buffer, count);
      inFile = 1;
      ++files;
    } else if (inFile && count > 0 && count <= BUFFER_SIZE) {
      ok = ok && put(out, &count, sizeof count) && put(out, buffer, count);
    } else {
      rc = DSA_ERROR_FILE; /* a stream of another shape cannot be replayed */
      break;
    }
  }
  ok = fclose(out) == 0 && ok;
  /* A non-zero status aborts the checkpoint run, so that Ingres records no checkpoint. */
  ended = endBackup(id, rc != DSA_OK ? rc : (ok ? 0 : 1));
  if (rc != DSA_OK) return agentFailed("DSARead", rc);
  if (!ok) {
    fprintf(stderr, "minimal_host: cannot write %s\n", path);
    return 4;
  }
  if (ended != DSA_OK) return agentFailed("DSAEndBackup", ended); /* e.g. ckpdb failed */
  printf("saved %s: %d files into %s\n", objectName, files, path);
  return 0;
}

/* One object on a connection of its own: per file DSABeginRestore, the header, its data, and
 * DSAEndRestore; then the disconnect, which for data ends the roll forward. */
static int restoreObject(const char* objectName, const char* path) {
  uint32_t id = 0, restoreId = 0, ioUnitId = 0, count;
  int result = 0, files = 0;
  DSA_RESULT rc;
  FILE* in = fopen(path, "rb");
  if (in == NULL) {
    fprintf(stderr, "minimal_host: cannot open %s\n", path);
    return 4;
  }
  if ((result = connectTo(&id)) != 0) {
    fclose(in);
    return result;
  }
  while (result == 0 && fread(buffer, 1, DSA_OBJECT_HEADER_SIZE, in) == DSA_OBJECT_HEADER_SIZE) {
    rc = beginRestore(id, objectName, DSA_OPTION_OVERWRITE_JOURNALS, &restoreId, &ioUnitId);
    if (rc != DSA_OK) {
      result = agentFailed("DSABeginRestore", rc);
      break;
    }
    count = DSA_OBJECT_HEADER_SIZE;
    rc = writeObject(id, 0, 0, buffer, &count);
    while (rc == DSA_OK) {
      if (fread(&count, sizeof count, 1, in) != 1 || count > BUFFER_SIZE ||
          (count > 0 && fread(buffer, 1, count, in) != count)) {
        fprintf(stderr, "minimal_host: %s is cut off or damaged\n", path);
        result = 4;
        break;
      }
      if (count == 0) break; /* the end of the file */
      rc = writeObject(id, 0, 0, buffer, &count);
    }
    if (rc != DSA_OK) result = agentFailed("DSAWrite", rc);
    /* A non-zero status discards the session's file (and fails a data restore). */
    rc = endRestore(id, result == 0 ? 0 : 1);
    if (rc != DSA_OK && result == 0) result = agentFailed("DSAEndRestore", rc);
    ++files;
  }
  fclose(in);
  if (disconnectFrom(id) != 0 && result == 0) result = 1;
  if (result == 0) printf("restored %s: %d files from %s\n", objectName, files, path);
  return result;
}

int main(int argc, char** argv) {
  char objects[3][300], paths[3][MAX_PATH];
  const char* streams[3] = {"data", "config", "journals"};
  HMODULE agent;
  uint32_t id = 0;
  int result = 0, i;
  if (argc != 7 || (strcmp(argv[6], "backup") != 0 && strcmp(argv[6], "restore") != 0)) {
    fprintf(stderr,
            "usage: minimal_host AGENT_DLL INSTANCE ACCOUNT DATABASE FOLDER "
            "backup|restore\n(the password in MINIMAL_HOST_PASSWORD)\n");
    return 2;
  }
  instance = argv[2];
  account = argv[3];
  /* A copy: the agent changes the process environment (II_SYSTEM, II_CKTMPL_FILE, Path), which
   * may move what getenv pointed to. */
  if (getenv("MINIMAL_HOST_PASSWORD") == NULL ||
      snprintf(password, sizeof password, "%s", getenv("MINIMAL_HOST_PASSWORD")) >=
          (int)sizeof password) {
    fprintf(stderr, "minimal_host: set MINIMAL_HOST_PASSWORD to the account's password\n");
    return 2;
  }
  snprintf(objects[0], sizeof objects[0], "%s.DATA", argv[4]);
  snprintf(objects[1], sizeof objects[1], "%s.~CONFIG", argv[4]);
  snprintf(objects[2], sizeof objects[2], "~JOURNAL OF DATABASE %s", argv[4]);
  for (i = 0; i < 3; ++i) snprintf(paths[i], sizeof paths[i], "%s\\%s.stream", argv[5], streams[i]);

  /* Loaded by full path: the agent finds its companion libraries in its own folder. */
  agent = LoadLibraryA(argv[1]);
  if (agent == NULL) {
    fprintf(stderr, "minimal_host: cannot load %s: error %lu\n", argv[1], GetLastError());
    return 3;
  }
  buffer = VirtualAlloc(NULL, BUFFER_SIZE, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  if (!bindEntryPoints(agent) || buffer == NULL) {
    FreeLibrary(agent);
    return 3;
  }
  /* Every call of a connection from this one thread: the agent acts as the account on it. */
  if (strcmp(argv[6], "backup") == 0) {
    if ((result = connectTo(&id)) == 0) {
      for (i = 0; i < 3 && result == 0; ++i) result = backupObject(id, objects[i], paths[i]);
      if (disconnectFrom(id) != 0 && result == 0) result = 1;
    }
  } else {
    for (i = 2; i >= 0 && result == 0; --i) result = restoreObject(objects[i], paths[i]);
  }
  VirtualFree(buffer, 0, MEM_RELEASE);
  FreeLibrary(agent);
  return result;
}
