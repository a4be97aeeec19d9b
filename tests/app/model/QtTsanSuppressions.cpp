// Qt is not built with ThreadSanitizer: its QMutex waits on a futex the sanitizer cannot see, so
// the thread pool handing a task to its thread, or a pool or the test watchdog tearing down its
// wait condition, reads as a race inside Qt. Only those frames are silenced; races in our code
// are still reported.
extern "C" const char* __tsan_default_suppressions() {
    return "race:QWaitCondition::~QWaitCondition\n"
           "race:QThreadPoolPrivate::enqueueTask\n"
           "race:QTest::qRun\n";
}
