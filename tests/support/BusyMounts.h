#pragma once
// A machine whose mounts never rest: ten loop devices, each mounted at ten folders below a fresh
// folder of /mnt (where cards are looked for), and a loop in the background that unmounts and
// mounts the first folder again several times a second from start() until stop() (or the
// destructor). Root's part goes through runAsRoot; construction throws std::runtime_error with
// the failing step.
#include <string>

namespace halvetrop::test {

class BusyMounts {
public:
    BusyMounts();  // changing from the start
    ~BusyMounts();
    BusyMounts(const BusyMounts&) = delete;
    BusyMounts& operator=(const BusyMounts&) = delete;

    void start();
    void stop();

private:
    std::string base_;
    std::string first_;  // the loop device mounted again and again
    std::string churn_;  // the background loop's process, while it runs
};

}  // namespace halvetrop::test
