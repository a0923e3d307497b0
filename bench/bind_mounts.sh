#!/usr/bin/env bash
# The listing against findmnt with N bind mounts of one ext4 volume that carries a system, for
# each N given, in a private mount namespace (nothing is seen outside it). Needs root.
#
#   bench/bind_mounts.sh BUILD_DIR RUNS N...
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

if [ "${1:-}" != "--inside-private-namespace" ]; then
    if [ "$(id -u)" -ne 0 ] || ! command -v unshare >/dev/null; then
        echo "  skipped: needs root and unshare(1) to make bind mounts in a private namespace"
        exit 0
    fi
    exec unshare --mount --propagation private -- "$0" --inside-private-namespace "$@"
fi
shift
build=$1 runs=$2
shift 2

work=$(mktemp -d /tmp/kavelin-bench.XXXXXX)
cleanup() {
    umount -R -l "$work" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
mount -t tmpfs -o size=64m,mode=0755 kavelin-bench "$work"
truncate -s 8M "$work/volume.img"
mkfs.ext4 -q -F -L "Bench" "$work/volume.img"
mkdir "$work/volume" "$work/binds"
mount -o loop "$work/volume.img" "$work/volume"
mkdir -p "$work/volume/System/Library/CoreServices"
python3 -c 'import plistlib, sys; plistlib.dump({"ProductVersion": "14.1"}, open(sys.argv[1], "wb"))' \
    "$work/volume/System/Library/CoreServices/SystemVersion.plist"

mounted=0
for count in "$@"; do
    while [ "$mounted" -lt "$count" ]; do
        mkdir "$work/binds/$mounted"
        mount --bind "$work/volume" "$work/binds/$mounted"
        mounted=$((mounted + 1))
    done
    echo "  $count bind mounts ($(wc -l </proc/self/mountinfo) lines in the mount table):"
    python3 "$here/process_pairs.py" --required 2.0 --goal 1.5 "$runs" -- \
        "$build/kavelin" --list-volumes -- findmnt -rn | sed 's/^/  /'
done
