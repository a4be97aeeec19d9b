#include "support/BusyMounts.h"

#include "support/Privileged.h"

#include <unistd.h>

namespace halvetrop::test {

BusyMounts::BusyMounts() {
    const std::string out = runAsRootOrThrow(R"sh(
set -e
base=$(mktemp -d /mnt/halvetrop-busy-XXXXXX)
for d in 0 1 2 3 4 5 6 7 8 9; do
  truncate -s 4M "$base/disk$d.img"
  mkfs.ext4 -q -F -L "BUSY$d" "$base/disk$d.img"
  loop=$(losetup -f --show "$base/disk$d.img")
  echo "$loop" >> "$base/loops"
  for i in 0 1 2 3 4 5 6 7 8 9; do mkdir "$base/m$d$i"; mount -o ro "$loop" "$base/m$d$i"; done
done
echo "$base $(head -n 1 "$base/loops")")sh");
    const size_t space = out.rfind(' ');
    base_ = out.substr(0, space);
    first_ = out.substr(space + 1);
    start();
}

BusyMounts::~BusyMounts() {
    stop();
    runAsRoot("for m in " + base_ +
              "/m*; do umount -l \"$m\"; done; while read l; do losetup -d \"$l\"; done < " + base_ +
              "/loops; rm -rf " + base_);
}

void BusyMounts::start() {
    if (!churn_.empty()) return;
    // The loop ends with this process too, should it be killed before it stops the loop.
    churn_ = runAsRootOrThrow("nohup sh -c \"while kill -0 " + std::to_string(::getpid()) + "; do umount '" +
                              base_ + "/m00'; mount -o ro '" + first_ + "' '" + base_ +
                              "/m00'; sleep 0.15; done\" >/dev/null 2>&1 & echo $!");
}

void BusyMounts::stop() {
    if (!churn_.empty()) runAsRoot("kill " + churn_);
    churn_.clear();
}

}  // namespace halvetrop::test
