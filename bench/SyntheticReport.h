#pragma once
#include <cstdint>

#include "report/Report.h"

namespace halvetrop::bench {

// A report of `count` card files in folders of 9,999 with copies on two backups, capture
// information and one shoot per folder; statuses cycle through verified, verified, backed up,
// missing and likely; every 50th file is out of scope.
VerifyReport syntheticReport(int64_t count);

}  // namespace halvetrop::bench
