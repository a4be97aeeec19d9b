#pragma once
#include <string>

#include "report/Report.h"

namespace halvetrop {

// The check report as comma-separated text: the header line, then one row of ten quoted fields per
// in-scope file in report order, then one "Can't read" row per card entry the check could not read
// (its name and folder, and the reason as the note), lines ending in a line feed (no carriage returns). A field that
// starts with "=", "+", "-", "@", a tab or a carriage return gets a leading apostrophe so that no
// spreadsheet reads it as a formula. Every text is valid UTF-8. Pure; the caller writes the file.
struct CSVExport {
    static std::string csv(const VerifyReport& report);
};

}  // namespace halvetrop
