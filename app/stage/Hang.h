#pragma once
// How long the tests, the screen pictures and the benchmarks let a wait for work go on before they
// take it for a hang. Not a time limit: the work may take as long as the machine makes it (every
// core busy, hundreds of mounts changing), and whatever waits for it waits until it is done. Only
// work that never ends reaches this, and then the wait fails where it is, naming the case that
// hung, well before the suite's own time limit ends the whole run without saying where.
namespace halvetrop {

inline constexpr int kHangDetectorMs = 5 * 60 * 1000;

}  // namespace halvetrop
