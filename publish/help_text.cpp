#include "publish/options.h"

const char* const general_help =
    R"(corvid-publish: turns a release folder into the files an update server serves.

usage:
  corvid-publish build --release DIR --out DIR [options]   publish a release
  corvid-publish verify --out DIR                          check a published tree
  corvid-publish COMMAND --help                            explain a command

Exit codes: 0 done; 1 input refused, a check failed or a file could not be
written (nothing was changed); 2 the command line was not understood.
)";

const char* const build_help =
    R"(usage: corvid-publish build --release DIR --out DIR [options]

Writes into --out the tree that an update server serves as static files:

  OUT/product/cpatch.dat    patch header (19 bytes) of the manifest
  OUT/product/gfl.mft       the manifest: every release file, zlib-compressed
  OUT/product/command.dat   the command script, with --commands
  OUT/product/<name>        every release file as one zlib stream, at its
                            lower-cased path
  OUT/client/cpatch.dat     the update client's own file list, with --client
  OUT/client/<name>         every update-client file as one zlib stream
  OUT/<info name>           the server information file, with --info

Serve OUT with any static web server. The client host is then where OUT/client
is served ("example.com/client"), the product host where OUT/product is.

Options:
  --release DIR       the product files, as they are to be installed. Every
                      file below DIR is published; empty folders are not.
  --out DIR           the tree to write. It must be new, empty, or a tree this
                      tool published. The new tree is written into
                      "DIR.staging" beside it and swapped in when complete, so
                      a refused, failed or interrupted publish leaves the
                      earlier tree as it was. An earlier tree lends the streams
                      of files whose size, time and CRC-32 have not changed.
                      Everything else in DIR is replaced.
  --client DIR        the update client's own files (for example its exe);
                      without it no client tree is written.
  --commands FILE     a command script to publish as "command.dat". Its first
                      line is "Corvid Patch"; then one command a line:
                        unlink,FOLDER/,PATTERN   delete matching files (FOLDER
                                                 may be empty; * and ? match)
                        rmdir,FOLDER             remove an empty folder
                        mv,OLD,NEW               rename when NEW does not exist
                      Empty lines and lines starting with ";" are skipped.
                      A line the client would skip or misread (unknown
                      command, missing field, a path that leaves the
                      installation folder, "..", a drive) is refused with its
                      line number. The client runs the script on every run.
  --utc-offset SECONDS
                      the standard-time offset, east of UTC, in which the list
                      times are written (3600 for UTC+1); default: this
                      machine's own standard offset, daylight saving left out.
                      Each file's list time is its modification time plus this
                      offset. The client stamps an installed file with the list
                      time minus its own standard offset, so players in the
                      same zone get the release's modification times. The
                      client takes a file of the right size and time as
                      current; a file whose time differs is read and its CRC-32
                      compared (in zones without daylight saving it is read
                      every time).

Server information file (all optional; --info needs both hosts):
  --info NAME         write the server information file as OUT/NAME. Players'
                      "update.dat" names where it is served, without "http://"
                      ("example.com/NAME").
  --client-host LOC   server location of the client tree (line 2).
  --product-host LOC  server location of the product tree (line 3).
  --header-hosts C,P  serve the client list and the product's patch header and
                      manifest from other locations ("mft").
  --mirror C,P        a pair of mirror locations ("aurl"); up to ten. The
                      client picks one pair at random and takes files from the
                      mirrors in turn.
  --max-patch-mb N    refuse updates larger than N MiB ("mps"); 0 for none;
                      at most 4095. Alone or with --mirror.
  --down TEXT         the service is closed: players see TEXT (up to five
                      lines) and the client stops ("down").
  --redirect LOC      send clients to another server information location
                      ("uurl").
  Server locations are a host, optionally followed by "/" and a path, in lower
  case, with no "http://" and no trailing "/". Only one of --down, --redirect
  and --header-hosts can be given, and each stands alone.

Refused, with the offending path and nothing written: more than 7500 files or
none; names over 255 characters; names outside printable ASCII or holding
" \ : * ? < > |; components that are "." or "..", end in a space or a dot, or
are Windows device names; two names that differ only in letter case; files of
4 GiB or more; the client's own names cpatch.dat, command.dat, gfl.mft.

Exit codes: 0 published; 1 refused or failed, earlier tree untouched; 2 the
command line was not understood.
)";

const char* const verify_help =
    R"(usage: corvid-publish verify --out DIR

Reads a published tree the way the client does and prints every problem:
  - product/cpatch.dat: 19 bytes, "CP~", the manifest's size, packed size and
    CRC-32 as "gfl.mft" holds them;
  - product/gfl.mft and client/cpatch.dat: the list's header, count and lines;
    names the client can install; every listed stream present, of its packed
    size, inflating to its size with its CRC-32;
  - product/command.dat, when present: every line as --commands checks it;
  - every file directly in DIR: the server information file's layout.

Exit codes: 0 no problem; 1 problems were found; 2 the command line was not
understood.
)";
