/* The records that cross ferryman.dll's interface in the caller's buffers: the agent
 * information (DSAGetAgentInfo), the object size record (DSAEnumObjects type 2) and the head of
 * the property sheet (DSAEnumObjects type 5).
 *
 * Conventions: plain C structs, byte offsets fixed (checked below), integers little-endian,
 * texts NUL-terminated ANSI with the rest of each field zero. The backup server reads them byte
 * by byte; so does the backup console, through these declarations. */
#ifndef FERRYMAN_RECORDS_H
#define FERRYMAN_RECORDS_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* DSAGetAgentInfo: who the agent is. */
typedef struct DSA_AGENT_INFO {
  char vendorName[48];
  char ag_build[16]; /* the build number setup recorded, "?" when none */
  char vendorVersion[8];
  char ag_ver[8];   /* "major.minor" of the library's product version */
  char ag_date[16]; /* "month-day-year" of the library's file date */
} DSA_AGENT_INFO;

/* DSAEnumObjects type 2: the size in KB twice; 3000 in both when it cannot be measured. */
typedef struct DSA_OBJECT_SIZE {
  uint32_t sizeKb;
  uint32_t sizeKbAgain;
} DSA_OBJECT_SIZE;

/* DSAEnumObjects type 5: the fixed head of the property sheet; its text lines ("label\tvalue",
 * each NUL-terminated, then an empty one) follow at offset 460, in a sheet of at least 1024
 * bytes. */
typedef struct DSA_PROPERTY_SHEET_HEADER {
  uint32_t signature; /* DSA_PROPERTY_SHEET_SIGNATURE */
  uint32_t reserved0;
  uint16_t value8;  /* 2 */
  uint16_t value10; /* 160 */
  uint16_t value12; /* 220 */
  uint8_t zero14[126];
  uint32_t value140; /* 0 */
  uint32_t value144; /* 2 */
  uint8_t zero148[312];
} DSA_PROPERTY_SHEET_HEADER;

#define DSA_AGENT_INFO_SIZE 96u
#define DSA_UNKNOWN_SIZE_KB 3000u
#define DSA_PROPERTY_SHEET_SIGNATURE 0x04655291u
#define DSA_PROPERTY_SHEET_TEXT_OFFSET 460u
#define DSA_PROPERTY_SHEET_SIZE 1024u

#ifdef __cplusplus
}

static_assert(sizeof(DSA_AGENT_INFO) == DSA_AGENT_INFO_SIZE);
static_assert(offsetof(DSA_AGENT_INFO, vendorName) == 0);
static_assert(offsetof(DSA_AGENT_INFO, ag_build) == 48);
static_assert(offsetof(DSA_AGENT_INFO, vendorVersion) == 64);
static_assert(offsetof(DSA_AGENT_INFO, ag_ver) == 72);
static_assert(offsetof(DSA_AGENT_INFO, ag_date) == 80);
static_assert(sizeof(DSA_OBJECT_SIZE) == 8);
static_assert(offsetof(DSA_OBJECT_SIZE, sizeKbAgain) == 4);
static_assert(sizeof(DSA_PROPERTY_SHEET_HEADER) == DSA_PROPERTY_SHEET_TEXT_OFFSET);
static_assert(offsetof(DSA_PROPERTY_SHEET_HEADER, reserved0) == 4);
static_assert(offsetof(DSA_PROPERTY_SHEET_HEADER, value8) == 8);
static_assert(offsetof(DSA_PROPERTY_SHEET_HEADER, value10) == 10);
static_assert(offsetof(DSA_PROPERTY_SHEET_HEADER, value12) == 12);
static_assert(offsetof(DSA_PROPERTY_SHEET_HEADER, zero14) == 14);
static_assert(offsetof(DSA_PROPERTY_SHEET_HEADER, value140) == 140);
static_assert(offsetof(DSA_PROPERTY_SHEET_HEADER, value144) == 144);
static_assert(offsetof(DSA_PROPERTY_SHEET_HEADER, zero148) == 148);
#endif

#endif /* FERRYMAN_RECORDS_H */
