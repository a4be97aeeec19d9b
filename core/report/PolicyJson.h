#pragma once
// Stored form of the safe-to-format policy: keys "requiredCopies", "minEvidence",
// "requiredDrives", "acceptEditedCopies", "countCloudCopies", "maxDestEvidenceAge" in that order,
// minEvidence as its integer 0-3, requiredDrives as a list of texts, maxDestEvidenceAge as a
// number of seconds. Every key is required on reading; no default fills in. Same rules and
// DecodingError as the report's stored form.
#include <string>

#include "match/Status.h"
#include "report/StoredForm.h"

namespace halvetrop {

std::string toStoredJson(const SafeToFormatPolicy& policy);
template <>
SafeToFormatPolicy fromStoredJson<SafeToFormatPolicy>(std::string_view json);

}  // namespace halvetrop
