#include "runtime/sqlca_report.h"

#include <algorithm>
#include <cstring>

namespace ingsim::esql {

void resetSqlca(IISQLCA* sqlca) {
  if (sqlca == nullptr) return;
  std::memcpy(sqlca->sqlcaid, "SQLCA   ", sizeof sqlca->sqlcaid);
  sqlca->sqlcabc = static_cast<int32_t>(sizeof(IISQLCA));
  sqlca->sqlcode = kOk;
  sqlca->sqlerrm.sqlerrml = 0;
  std::memset(sqlca->sqlerrm.sqlerrmc, 0, sizeof sqlca->sqlerrm.sqlerrmc);
  std::memset(sqlca->sqlerrd, 0, sizeof sqlca->sqlerrd);
  std::memset(&sqlca->sqlwarn, ' ', sizeof sqlca->sqlwarn);
}

void reportToSqlca(IISQLCA* sqlca, const Status& status) {
  if (sqlca == nullptr) return;
  sqlca->sqlcode = status.sqlcode;
  const size_t length = std::min(status.message.size(), sizeof sqlca->sqlerrm.sqlerrmc);
  std::memset(sqlca->sqlerrm.sqlerrmc, 0, sizeof sqlca->sqlerrm.sqlerrmc);
  std::memcpy(sqlca->sqlerrm.sqlerrmc, status.message.data(), length);
  sqlca->sqlerrm.sqlerrml = static_cast<int16_t>(length);
}

void warnTruncation(IISQLCA* sqlca) {
  if (sqlca == nullptr) return;
  sqlca->sqlwarn.sqlwarn0 = 'W';
  sqlca->sqlwarn.sqlwarn1 = 'W';
}

}  // namespace ingsim::esql
