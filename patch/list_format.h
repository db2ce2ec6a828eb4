#pragma once
// The formats the update server publishes: the update client's file list and the
// manifest text (a header line, a count, one entry line per file) and the 19-byte
// patch header file that describes the manifest.

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "core/file_entry.h"
#include "core/product.h"
#include "text/findings.h"
#include "text/fixed_text.h"
#include "text/format_limits.h"
#include "text/line_source.h"

namespace corvid {

// Buffers of the list rules: header lines and script lines, and entry lines. A longer
// line is not refused: the rest of it is read as the next line.
using list_text_line = fixed_text<max_text_line_length + 1>;
using list_entry_line = fixed_text<max_entry_line_length + 1>;

// Why a list is refused, or read otherwise than it is written.
enum class list_finding {
  wrong_header,      // line 1 is not the list header
  bad_count,         // the count (text: its line) is not 1 to max_listed_files
  entry_line_split,  // an entry line fills its buffer: the rest is read as the next entry
  name_refused,      // a name (text) that is not installable: the whole list is refused
  entry_missing,     // the text ends before the count (text) of entry lines
};
using list_findings = findings<list_finding>;

// Exactly the header text; a blank after it is another line.
bool is_list_header_line(std::string_view line);

// The count line of a list, read as atoi does; false unless 1 to max_listed_files.
bool parse_list_count(std::string_view line, int& count);

// Reads the header line and the count line.
bool read_list_header(line_source& lines, int& count, list_findings* found = nullptr);

// True for a name that stays inside the installation folder once it is written there
// and names a file of its own: not empty, not absolute, no drive or stream colon, no
// ".." component, no device name as any component, not a scratch copy's name, nor a
// file of signed releases.
bool listed_name_is_installable(std::string_view name);

// size, packed_size, crc32, time in hexadecimal, then the name. Missing fields leave
// the entry's values as they are; characters after the name are ignored. False when
// the name is too long for the entry or is not installable.
bool parse_entry_line(std::string_view line, file_entry& entry);

// Reads `count` entry lines into `entries`. False when the text ends first or any
// entry is refused, so that a list is either taken whole or not at all.
bool read_entry_lines(line_source& lines, file_entry* entries, int count, list_findings* found = nullptr);

// The header, the count and every entry line: a whole list, taken whole or not at all.
bool read_list(line_source& lines, std::vector<file_entry>& entries, list_findings* found = nullptr);

// The magic "CP~" and the manifest's size, packed_size, crc32 and time as
// little-endian words at offsets 3, 7, 11 and 15. Fills `manifest` (named gfl.mft)
// only when the magic and all 19 bytes are there.
bool parse_patch_header(const unsigned char* bytes, std::size_t length, file_entry& manifest);

// The same formats written, as corvid-publish writes them; the client never writes them.
using patch_header_bytes = std::array<unsigned char, patch_header_size>;
patch_header_bytes encode_patch_header(const file_entry& manifest);
// One entry line without its line feed; a name holding a comma is quoted.
std::string format_entry_line(const file_entry& entry);
// The header line, the decimal count, then one entry line each, every line ended by a
// line feed: the update-client file list and the manifest text alike.
std::string format_list_text(const std::vector<file_entry>& entries);

}  // namespace corvid
