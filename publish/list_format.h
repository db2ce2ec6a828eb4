#pragma once
// The lists the update client reads, as corvid-publish reads them back: with the client's
// own readers, so that what is checked is what players get.

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "patch/list_format.h"
#include "text/format_limits.h"
#include "text/line_source.h"

namespace corvid::publish {

// The four words after "CP~"; false when the bytes are too few or the magic differs.
bool decode_patch_header(std::string_view bytes, file_entry& manifest);

// Reads a list with the client's reader. False, with why in `problem`, for a list the
// client refuses, and for one it would read otherwise than it is written. The client
// reads its own file list as a file and the manifest as inflated text.
bool read_list_text(std::string_view text, std::vector<file_entry>& entries, std::string& problem,
                    line_ends ends = line_ends::text_mode);

// Why a manifest is not the one its patch header describes, as the client would find.
enum class manifest_fault { none, wrong_packed_size, not_inflating, bad_list };

// Inflates `packed` as the patch header `header` describes it into `text` and reads the
// list in it; `problem` says what is wrong with a list that is refused.
manifest_fault read_manifest(const file_entry& header, std::string_view packed, std::string& text,
                             std::vector<file_entry>& entries, std::string& problem);

}  // namespace corvid::publish
