// A fuzz target that fails on purpose, the way HALVETROP_MISBEHAVE says (crash, leak, timeout,
// oom, or none to behave), on every input of two bytes or more: scripts/fuzz runs it to show that
// it fails, and names the input, whenever fuzzing ends in one of these ways. The inputs libFuzzer
// starts from without a corpus (empty, and one newline) pass, so the replay of no seeds passes.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

void* volatile kept = nullptr;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t*, size_t size) {
    const char* mode = std::getenv("HALVETROP_MISBEHAVE");
    if (size < 2 || mode == nullptr) return 0;
    if (std::strcmp(mode, "crash") == 0) __builtin_trap();
    if (std::strcmp(mode, "leak") == 0) {
        kept = std::malloc(64);
        kept = nullptr;
    }
    if (std::strcmp(mode, "timeout") == 0) {
        for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
    }
    if (std::strcmp(mode, "oom") == 0) {
        kept = std::malloc(size_t{3} << 30);
        std::free(kept);
    }
    return 0;
}
