#!/usr/bin/env bash
# Mounts (or takes down) volumes that belong to nobody's test, as other removable drives on a
# user's machine: suites that list the machine's volumes must pass with these mounted.
#   foreign-volumes.sh mount COUNT RUN_DIR | unmount RUN_DIR
# Each run (one build folder) has mount points and images of its own, named after RUN_DIR, so two
# runs on one machine never take down each other's volumes.
set -u
run_dir=${3:-${2:-}}
if [ -z "$run_dir" ] || [ ! -d "$run_dir" ]; then
  echo "usage: $0 mount COUNT RUN_DIR | unmount RUN_DIR" >&2
  exit 2
fi
run_id=$(printf '%s' "$(cd "$run_dir" && pwd -P)" | md5sum | cut -c1-8)
base=/media/halvetrop-foreign-$run_id
store=$run_dir/foreign-volume-images
if [ "$(id -u)" -ne 0 ]; then
  echo "not root: no foreign volumes are mounted"
  exit 0
fi
case "${1:-}" in
  mount)
    count=${2:-20}
    mkdir -p "$store"
    for i in $(seq 1 "$count"); do
      point="$base-$i"
      mountpoint -q "$point" && continue
      image="$store/disk-$i.img"
      truncate -s 4M "$image" && mkfs.ext4 -q -F -L "FOREIGN $i" "$image" || exit 1
      mkdir -p "$point"
      mount -o loop "$image" "$point" || exit 1
      mkdir -p "$point/DCIM/100FOREIGN"
    done
    echo "mounted $count foreign volumes under $base-N"
    ;;
  unmount)
    for point in "$base"-*; do
      [ -d "$point" ] || continue
      umount "$point" 2>/dev/null || umount -l "$point"
      rmdir "$point"
    done
    rm -rf "$store"
    ;;
  *)
    echo "usage: $0 mount COUNT RUN_DIR | unmount RUN_DIR" >&2
    exit 2
    ;;
esac
