#include "utility/run_output.h"

#include "core/message_ids.h"
#include "library/fixed_name_file.h"
#include "logs/activity_log.h"
#include "logs/trace.h"

namespace ferry::agent {

UniqueFile createOutputFile(ConnectionRecord* ci, const char* routine, const char* path,
                            bool* refused) {
  FixedNameOutcome outcome = FixedNameOutcome::kFailed;
  UniqueFile file =
      openFixedNameFile(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                        FILE_ATTRIBUTE_NORMAL, &outcome);
  if (outcome == FixedNameOutcome::kRefused) {
    trace(ci, "%s(): %s is a link or has a second name; not written through", routine, path);
    Log_act(ci, messages::kActivityLinkRefused, path);
    *refused = true;
  }
  return file;
}

}  // namespace ferry::agent
