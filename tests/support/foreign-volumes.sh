#!/usr/bin/env bash
# Mounts (or takes down) volumes that belong to nobody's test, as other removable drives on a
# user's machine: suites that list the machine's volumes must pass with these mounted.
#   foreign-volumes.sh mount COUNT | unmount
set -u
base=/media/halvetrop-foreign
store=/tmp/halvetrop-foreign-images
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
    echo "usage: $0 mount COUNT | unmount" >&2
    exit 2
    ;;
esac
