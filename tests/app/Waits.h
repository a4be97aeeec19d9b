#pragma once
// Put before every source of the application's suites (app.cmake): their waits for work wait until
// it is done. Qt's QTRY_* give up after 5 s, which a loaded machine easily takes for what a test
// waits for; here they give up only on a hang (kHangDetectorMs), and then at once, without Qt's
// second, twice as long wait to tell how much longer would have done.
#include <QTest>

#include "stage/Hang.h"

#undef QTRY_TIMEOUT_DEBUG_IMPL
#define QTRY_TIMEOUT_DEBUG_IMPL(expr, timeoutValue, step)

#undef QTRY_VERIFY
#define QTRY_VERIFY(expr) QTRY_VERIFY_WITH_TIMEOUT(expr, halvetrop::kHangDetectorMs)
#undef QTRY_VERIFY2
#define QTRY_VERIFY2(expr, message) QTRY_VERIFY2_WITH_TIMEOUT(expr, message, halvetrop::kHangDetectorMs)
#undef QTRY_COMPARE
#define QTRY_COMPARE(expr, expected) QTRY_COMPARE_WITH_TIMEOUT(expr, expected, halvetrop::kHangDetectorMs)
