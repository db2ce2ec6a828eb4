#!/bin/sh
# Mounts or unmounts a small file system of the tests' own at DIR, so that a whole run
# can meet a full disk. Mounting needs the right to mount (root on the build machine);
# without it DIR stays an ordinary folder without DIR/mounted, and the test says so.
#   small_disk_fixture.sh start DIR | stop DIR
set -u
action=${1:?usage: small_disk_fixture.sh start|stop DIR}
dir=${2:?usage: small_disk_fixture.sh start|stop DIR}

unmount() {
  while mountpoint -q "$dir" 2>/dev/null; do umount "$dir" 2>/dev/null || umount -l "$dir" || break; done
}

case "$action" in
  stop) unmount; rm -rf "$dir"; exit 0 ;;
  start) ;;
  *) echo "unknown action $action" >&2; exit 2 ;;
esac

unmount
rm -rf "$dir"
mkdir -p "$dir"
if mount -t tmpfs -o size=32m,mode=0777 corvid_small_disk "$dir" 2>"$dir.error"; then
  : >"$dir/mounted"
  rm -f "$dir.error"
else
  echo "no small file system: $(cat "$dir.error")" >&2
  rm -f "$dir.error"
fi
exit 0
