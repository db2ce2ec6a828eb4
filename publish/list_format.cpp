#include "publish/list_format.h"

#include "patch/inflater.h"
#include "patch/list_format.h"

namespace corvid::publish {

bool decode_patch_header(std::string_view bytes, file_entry& manifest) {
  return parse_patch_header(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), manifest);
}

bool read_list_text(std::string_view text, std::vector<file_entry>& entries, std::string& problem, line_ends ends) {
  line_source lines(text, ends);
  list_findings found;
  if (read_list(lines, entries, &found) && found.empty()) return true;
  const finding<list_finding>& first = found.front();
  std::string where = "entry line " + std::to_string(first.line);
  switch (first.why) {
    case list_finding::wrong_header: problem = "the first line is not \"Corvid Patch\""; break;
    case list_finding::bad_count: problem = "the count \"" + first.text + "\" is not between 1 and 7500"; break;
    case list_finding::entry_line_split:
      problem = where + " holds 511 characters or more; the client reads it as two lines";
      break;
    case list_finding::name_refused:
      problem = where +
                ": the client refuses its name (empty, over 255 characters, absolute, with a drive, "
                "\"..\", a device name or its own scratch file's name), and with it the whole list";
      break;
    case list_finding::entry_missing:
      // Entry lines start at line 3.
      problem = "the count is " + first.text + " but only " + std::to_string(first.line - 3) + " entry lines follow";
      break;
  }
  return false;
}

manifest_fault read_manifest(const file_entry& header, std::string_view packed, std::string& text,
                             std::vector<file_entry>& entries, std::string& problem) {
  if (packed.size() != header.packed_size) return manifest_fault::wrong_packed_size;
  text.assign(header.size, '\0');
  if (!inflate_whole(reinterpret_cast<const unsigned char*>(packed.data()), packed.size(),
                     reinterpret_cast<unsigned char*>(text.data()), header.size))
    return manifest_fault::not_inflating;
  if (!read_list_text(text, entries, problem, line_ends::inflated_text)) return manifest_fault::bad_list;
  return manifest_fault::none;
}

}  // namespace corvid::publish
