// mktime() re-reads the time zone under glibc's own tzset lock, which ThreadSanitizer cannot see
// (it is not a pthread mutex), so concurrent date parsing on the capture workers reads as a race
// inside libc. Only that frame is silenced; races in our code are still reported.
extern "C" const char* __tsan_default_suppressions() { return "race:tzset_internal\n"; }
