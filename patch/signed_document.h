#pragma once
// The signed document of a release: what a client built with the operator's key checks
// before it uses a list, fetches a file or runs the command script. The publishing tool
// writes it with format_signed_release and the client reads it with the reader below,
// so the format lives here alone. Needs no windows.h.
//
// An update server publishes one beside the list of each tree, as csigned.dat: beside
// the product tree's patch header and beside the update client's file list. Every line
// ends with a line feed; nothing else of the C runtime's text mode applies, and no byte
// below 0x20 other than the line feed may occur before the signatures. In this order:
//
//   Corvid Patch
//   signed release 1                  the format; any other line is refused
//   tree product                      or "tree client": which list the document is for
//   serial 42                         the release serial, 1 or more; it only grows
//   expires 1767225600                optional: refused from this second on (UTC,
//                                     seconds since 1970)
//   list <64 hex>                     SHA-256 of the tree's cpatch.dat as served: the
//                                     19-byte patch header, or the update client's list
//   manifest <64 hex>                 product tree only: gfl.mft as served
//   script <64 hex>                   product tree only: command.dat as served, or
//                                     "script none" when the release has no script
//   files 3                           the count of the tree's list, 1 to 7500
//   <64 hex> data/map.dat             one line for each listed file, in the list's
//   ...                               order: SHA-256 of the installed bytes, a space,
//                                     then the name as the list gives it, to the end
//                                     of the line
//   signature <128 hex>               one to four lines
//
// Digests and signatures are lower-case hexadecimal; numbers are decimal without a sign
// or a leading zero. So every document has one spelling, and the reader refuses any
// other: a text it accepts is exactly the text format_signed_release gives for what it
// read. A signature is ECDSA P-256 over the SHA-256 of every byte of the document before
// the first signature line (that is, up to and including the line feed of the last
// file line), as r then s, 32 bytes each. Nothing but signature lines may follow the
// signed bytes, and a signature line says nothing but its signature: every byte that
// gives the document a meaning is signed. Several signature lines, each by another key,
// let clients built with an old key and with its successor both check a document while
// the key is replaced; a client accepts the document when one of them verifies with
// its key.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "core/product.h"
#include "patch/signing_values.h"
#include "text/fixed_text.h"
#include "text/format_limits.h"
#include "text/line_source.h"

namespace corvid {

inline constexpr int max_document_signatures = 4;
inline constexpr std::size_t signature_line_size = 10 + 128 + 1;  // "signature " + hex + line feed
// The longest document a reader takes: its lines, the longest names and every signature.
inline constexpr std::size_t max_signed_document_size = 8 * (max_text_line_length + 1) +
                                                        max_listed_files * (64 + 1 + max_name_length + 1) +
                                                        max_document_signatures * signature_line_size;

enum class release_tree { client, product };

// The document's values apart from its files.
struct signed_release {
  release_tree tree = release_tree::product;
  std::uint64_t serial = 0;
  std::uint64_t expires = 0;  // seconds since 1970, UTC; 0 when the document has no expiry
  sha256_digest list{};
  // The product tree's; the client tree has neither.
  sha256_digest manifest{};
  bool has_script = false;
  sha256_digest script{};
  int file_count = 0;
};

struct signed_file {
  fixed_text<max_name_length + 1> name;
  sha256_digest digest{};
};

// True once `now` (seconds since 1970, UTC) has reached the expiry.
inline bool signed_release_expired(const signed_release& release, std::uint64_t now) {
  return release.expires != 0 && now >= release.expires;
}

// The whole document cut into the bytes its signatures cover and the signatures.
struct signed_document_parts {
  std::string_view signed_bytes;
  ecdsa_signature signatures[max_document_signatures] = {};
  int signature_count = 0;
};

// False when the document is longer than any the format allows, has no signature line,
// or holds anything but one to four well-formed signature lines after the signed bytes.
// The signed bytes are not read here: that waits until a signature verifies.
bool split_signed_document(std::string_view document, signed_document_parts& parts);

// Reads the signed bytes a line at a time: first the values, then the files.
class signed_release_reader {
 public:
  explicit signed_release_reader(std::string_view signed_bytes)
      : bytes_(signed_bytes), lines_(signed_bytes, line_ends::as_read) {}

  // The lines up to "files"; false when any of them is not exactly as the format has it.
  bool read_values(signed_release& release);
  // The next file line; false once `file_count` files have been read, or for a line
  // that is not a digest and an installable name.
  bool next_file(signed_file& file);
  // After the last file: true when nothing follows it.
  bool at_end();

 private:
  std::string_view bytes_;
  line_source lines_;
  int files_left_ = 0;
};

// The whole of the signed bytes. `take` is handed each file in order and returns false
// to refuse the document; false too for a document the reader refuses.
template <typename Take>
bool read_signed_release(std::string_view signed_bytes, signed_release& release, Take&& take) {
  signed_release_reader reader(signed_bytes);
  if (!reader.read_values(release)) return false;
  signed_file file;
  for (int i = 0; i < release.file_count; ++i) {
    if (!reader.next_file(file) || !take(static_cast<const signed_file&>(file))) return false;
  }
  return reader.at_end();
}

// The signed bytes of a document for `release` and `files`, whose count is written as
// the files'. False, with `text` empty, for values the reader would refuse: a serial of
// 0, no files or more than a list holds, a name that is not installable or holds a
// character below 0x20.
bool format_signed_release(const signed_release& release, std::span<const signed_file> files, std::string& text);

// One signature line, with its line feed, to follow the signed bytes.
fixed_text<signature_line_size + 1> signature_line(const ecdsa_signature& signature);

// The content of accepted_serials_file_name: "Corvid Patch", then "client N" and
// "product N", N being 0 until a document of that tree is accepted.
struct accepted_serials {
  std::uint64_t client = 0;
  std::uint64_t product = 0;
};

using accepted_serials_text = fixed_text<96>;

bool read_accepted_serials(line_source& lines, accepted_serials& serials);
accepted_serials_text format_accepted_serials(const accepted_serials& serials);

}  // namespace corvid
