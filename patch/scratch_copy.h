#pragma once
// The scratch copy that a fetched file is written to before it replaces the installed
// copy. It is made in the target's own folder, so that the replacing rename stays on one
// volume even where a folder is a link to another disk, and the new file takes that
// folder's inherited permissions.

#include <windows.h>

#include <cstdint>

#include "platform/handles.h"
#include "text/paths.h"

namespace corvid {

// A flush waits for the disk, a millisecond or more for every file however small: for
// the thousands of small files of a first install that came to more than a tenth of
// its time. The files from this size on hold most of a release's bytes; what their
// flushes cost is measured with tools/bench, not assumed.
inline constexpr std::uint32_t smallest_flushed_copy = 64 * 1024;

class scratch_copy {
 public:
  // Creates the copy for `target` under the first scratch name free in the deepest
  // existing folder on the target's path where that name fits the path limit: the
  // target's own folder, or the one that its missing folders will be made in.
  explicit scratch_copy(const char* target);
  // Deletes the copy unless it was put in place.
  ~scratch_copy();
  scratch_copy(const scratch_copy&) = delete;
  scratch_copy& operator=(const scratch_copy&) = delete;

  bool created() const { return created_; }
  HANDLE handle() const { return file_.get(); }
  // Closes and deletes the copy: the quit path ends the process without unwinding.
  void reset();

  // To the disk before the rename, for a copy of `size` bytes from
  // smallest_flushed_copy on: a power cut must not leave the new name on a file whose
  // bytes were never written, which the size-and-time check would accept.
  bool flush(std::uint32_t size);

  // One replacing rename, so that the installed copy is either the old one or the new
  // one. A scanner or indexer that holds the target for a moment is waited for, a
  // short, bounded time.
  bool put_in_place();

 private:
  path_text target_;
  path_text path_;
  kernel_handle file_;
  bool created_ = false;
};

}  // namespace corvid
