#include "catalog/catalog_schema.h"

namespace ingsim {

const char* const kMasterCatalogSchema = R"sql(
CREATE TABLE iidatabase (
  name      CHAR(32) COLLATE RTRIM NOT NULL PRIMARY KEY,
  own       CHAR(32) COLLATE RTRIM NOT NULL,
  dbdev     CHAR(32) COLLATE RTRIM NOT NULL,
  ckpdev    CHAR(32) COLLATE RTRIM NOT NULL,
  jnldev    CHAR(32) COLLATE RTRIM NOT NULL,
  dmpdev    CHAR(32) COLLATE RTRIM NOT NULL,
  sortdev   CHAR(32) COLLATE RTRIM NOT NULL,
  access    INTEGER NOT NULL DEFAULT 0,
  dbservice INTEGER NOT NULL DEFAULT 0,
  db_id     INTEGER NOT NULL
);
CREATE TABLE iilocation_info (
  location_name CHAR(32) COLLATE RTRIM NOT NULL PRIMARY KEY,
  data_usage    CHAR(1) NOT NULL DEFAULT 'N',
  jrnl_usage    CHAR(1) NOT NULL DEFAULT 'N',
  ckpt_usage    CHAR(1) NOT NULL DEFAULT 'N',
  work_usage    CHAR(1) NOT NULL DEFAULT 'N',
  dump_usage    CHAR(1) NOT NULL DEFAULT 'N',
  awork_usage   CHAR(1) NOT NULL DEFAULT 'N',
  location_area VARCHAR(1023) NOT NULL,
  raw_pct       INTEGER NOT NULL DEFAULT 0
);
CREATE TABLE iiextend_info (
  location_name CHAR(32) COLLATE RTRIM NOT NULL,
  database_name CHAR(32) COLLATE RTRIM NOT NULL,
  status        INTEGER NOT NULL DEFAULT 3,
  PRIMARY KEY (location_name, database_name)
);
CREATE TABLE sim_database_state (
  name                CHAR(32) COLLATE RTRIM NOT NULL PRIMARY KEY,
  journaled           INTEGER NOT NULL DEFAULT 0,
  checkpoint_sequence INTEGER NOT NULL DEFAULT 0,
  journal_sequence    INTEGER NOT NULL DEFAULT 0
);
)sql";

const char* const kDatabaseCatalogSchema = R"sql(
CREATE TABLE iitables (
  table_name    CHAR(32) COLLATE RTRIM NOT NULL,
  table_owner   CHAR(32) COLLATE RTRIM NOT NULL,
  table_type    CHAR(1) NOT NULL DEFAULT 'T',
  system_use    CHAR(1) NOT NULL DEFAULT 'U',
  is_journalled CHAR(1) NOT NULL DEFAULT 'N',
  PRIMARY KEY (table_name, table_owner)
);
)sql";

std::string padded(const std::string& text, size_t width) {
  std::string result = text;
  if (result.size() < width) result.append(width - result.size(), ' ');
  return result;
}

}  // namespace ingsim
