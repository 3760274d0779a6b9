#!/usr/bin/env bash
# Folders for the disk fault tests: "full" (a 1 MiB file system) and "readonly" (one nobody can write
# to). Where mounting is allowed (root) both are tmpfs mounts; otherwise "full" is skipped by the tests
# and "readonly" is a folder without write permission.
# Usage: disk_fixture.sh setup|cleanup <folder>
set -u
action="$1"
dir="$2"
unmount() { mountpoint -q "$1" 2>/dev/null && umount "$1"; }
case "$action" in
  setup)
    unmount "$dir/full"; unmount "$dir/readonly"
    rm -rf "$dir"
    mkdir -p "$dir/full" "$dir/readonly"
    : >"$dir/kinds"
    if mount -t tmpfs -o size=1m tmpfs "$dir/full" 2>/dev/null; then echo "full=tmpfs" >>"$dir/kinds"; fi
    if mount -t tmpfs -o ro,size=64k tmpfs "$dir/readonly" 2>/dev/null; then
      echo "readonly=tmpfs" >>"$dir/kinds"
    else
      chmod 555 "$dir/readonly" && echo "readonly=mode" >>"$dir/kinds"
    fi
    cat "$dir/kinds"
    ;;
  cleanup)
    unmount "$dir/full"; unmount "$dir/readonly"
    chmod -R u+w "$dir" 2>/dev/null
    rm -rf "$dir"
    ;;
esac
exit 0
