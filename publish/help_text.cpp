#include "publish/options.h"

namespace corvid::publish {

const char* const general_help =
    R"(corvid-publish: turns a release folder into the files an update server serves.

  corvid-publish build --release DIR --out DIR [options]   publish a release
  corvid-publish verify --out DIR                          check a published tree
  corvid-publish verify --url LOC                          check a live server
  corvid-publish COMMAND --help                            explain a command

Options are written "--name value" or "--name=value".
Exit codes: 0 done; 1 input refused, a check failed or a file could not be
written (nothing was changed); 2 the command line was not understood;
130 interrupted (Ctrl-C; nothing was changed).)";

const char* const build_help =
    R"(The output tree:
  OUT/product/cpatch.dat    patch header (19 bytes) of the manifest
  OUT/product/gfl.mft       the manifest: every release file, zlib-compressed
  OUT/product/command.dat   the command script, with --commands
  OUT/product/<name>        every release file as one zlib stream, at its
                            lower-cased path
  OUT/client/cpatch.dat     the update client's own file list, with --client
  OUT/client/<name>         every update-client file as one zlib stream
  OUT/<info name>           the server information file, with --info

  Serve OUT with any static web server. The client host is then where
  OUT/client is served ("example.com/client"), the product host where
  OUT/product is.

  The new tree is written into "OUT.staging" beside OUT and switched in at the
  end in one step, so a web server never sees half a tree or none, and a
  refused, failed or interrupted publish leaves the earlier tree as it was.
  The tree it replaced stays as "OUT.previous" until the next publish, for
  requests already under way. On Windows, and on file systems that cannot
  swap two folders at once, the switch takes two renames and OUT is missing
  for a moment. "OUT.lock" lets one publish at a time write OUT; a second one
  is refused with the first one's process id. When OUT is a link to a folder,
  the tree is published into that folder and the link stays as it is.

  An earlier tree lends its streams to files of the same size and CRC-32; a
  file whose time alone changed keeps its stream and gets the new time.

Command scripts:
  The first line is "Corvid Patch"; then one command a line:
    unlink,FOLDER/,PATTERN   delete matching files (FOLDER may be empty;
                             * and ? match)
    rmdir,FOLDER             remove an empty folder
    mv,OLD,NEW               rename when NEW does not exist
  Empty lines and lines starting with ";" are skipped. Refused with its line
  number: a line the client would skip or misread (unknown command, missing
  field, a path that leaves the installation folder, "..", a drive); one that
  would delete or move a file this release installs, or the client's own
  talomar.exe, patch.bin, update.dat or language/patch_strings.dat; unlink of
  every file in the installation folder; a UTF-8 byte order mark. The client
  runs the script on every run.

Times:
  Each file's list time is its modification time plus --utc-offset. The
  client stamps an installed file with the list time minus its own standard
  offset, so players in the same zone get the release's modification times.
  The client takes a file of the right size and time as current; a file
  whose time differs is read and its CRC-32 compared.

Server information file (all optional; --info needs both hosts):
  Players' "update.dat" names where it is served, without "http://"
  ("example.com/NAME"). Server locations are a host, optionally followed by
  "/" and a path, in lower case, with no "http://", no trailing "/" and none
  of # ? %. Only one of --down, --redirect and --header-hosts can be given,
  and each stands alone.

Refused, with the offending path and nothing written: more than 7500 files
or none; names over 255 characters; names outside printable ASCII or holding
" \ : * ? < > | (which Windows file names cannot) or # % (which the client's
download URL cannot carry; blanks are fine); components that are "." or
"..", end in a space or a dot, or are Windows device names; two names that
differ only in letter case; files of 4 GiB or more; a file that changes
while it is read; a folder that cannot be read, named with the system's
reason; the client's own names cpatch.dat, command.dat, gfl.mft. A link to a
file outside the release publishes that file, with a warning.

On a terminal, a line shows the bytes read, the rate and the time left.

Exit codes: 0 published; 1 refused or failed, earlier tree untouched; 2 the
command line was not understood; 130 interrupted by Ctrl-C, the unfinished
tree removed.)";

const char* const verify_help =
    R"(A published tree (--out) is read the way the client reads it:
  - product/cpatch.dat: 19 bytes, "CP~", the manifest's size, packed size and
    CRC-32 as "gfl.mft" holds them;
  - product/gfl.mft and client/cpatch.dat: the list's header, count and
    lines; names the client can install; every listed stream present, of its
    packed size, inflating to its size with its CRC-32;
  - product/command.dat, when present: every line as build --commands checks
    it;
  - every file directly in DIR: the server information file's layout.

Live servers (--url, in the Linux build; the Windows build leaves it out):
  The server information file is fetched from "http://LOC" as the client
  fetches it, a "uurl" redirection followed up to five times, and read with
  the client's own reader. Then every location players would use is checked
  over HTTP: the product and client hosts, the "mft" header hosts and both
  locations of every "aurl" mirror pair. Each serves the patch header, the
  manifest, the command script and every listed file; each file's stream is
  inflated and its size and CRC-32 compared (--quick: only the length the
  server announces). A location that serves an older manifest than the
  others is reported as stale, with every file it serves wrong.

Exit codes: 0 no problem; 1 problems were found (a player would hit an
error); 2 the command line was not understood.)";

}  // namespace corvid::publish
