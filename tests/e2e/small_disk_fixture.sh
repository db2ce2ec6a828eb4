#!/bin/sh
# Mounts or unmounts a small file system of the tests' own at DIR, so that a whole run
# can meet a full disk, a game folder that cannot be written (DIR/read_only, a
# read-only view of DIR/writable) and a data folder on another volume. Wine makes no
# links, so a helper makes them for the tests: a test writes a link's Unix path and, on
# the next line, its target into DIR.links/request (an empty target removes the link)
# and waits for the request to go. Mounting needs the right to mount (root on the build
# machine); without it DIR stays an ordinary folder without DIR/mounted, and the tests
# say so.
#   small_disk_fixture.sh start DIR | stop DIR
set -u
action=${1:?usage: small_disk_fixture.sh start|stop DIR}
dir=${2:?usage: small_disk_fixture.sh start|stop DIR}

stop() {
  if [ -f "$dir.links/pid" ]; then kill "$(cat "$dir.links/pid")" 2>/dev/null; fi
  rm -rf "$dir.links"
  while mountpoint -q "$dir" 2>/dev/null; do umount -R "$dir" 2>/dev/null || umount -R -l "$dir" || break; done
  rm -rf "$dir"
}

make_links() {
  while [ -d "$dir.links" ]; do
    if [ -f "$dir.links/request" ]; then
      { read -r link; read -r target; } <"$dir.links/request"
      if [ -n "$target" ]; then ln -s "$target" "$link"; elif [ -L "$link" ]; then rm -f "$link"; fi
      rm -f "$dir.links/request"
    fi
    sleep 0.05
  done
}

case "$action" in
  stop) stop; exit 0 ;;
  start) ;;
  *) echo "unknown action $action" >&2; exit 2 ;;
esac

stop
mkdir -p "$dir" "$dir.links"
# Nothing of CTest's is left open in it, or CTest would wait for it to end.
(exec </dev/null >/dev/null 2>&1; make_links) &
echo $! >"$dir.links/pid"
if mount -t tmpfs -o size=32m,mode=0777 corvid_small_disk "$dir" 2>"$dir.error" &&
  mkdir "$dir/writable" "$dir/read_only" &&
  mount --bind "$dir/writable" "$dir/read_only" 2>>"$dir.error" &&
  mount -o remount,bind,ro "$dir/read_only" 2>>"$dir.error"; then
  : >"$dir/mounted"
  rm -f "$dir.error"
else
  echo "no small file system: $(cat "$dir.error")" >&2
  rm -f "$dir.error"
fi
exit 0
