#include "patch/release_verification.h"

#include <windows.h>

#include <cstdio>
#include <ctime>
#include <memory>
#include <new>
#include <string>

#include "core/scratch_files.h"
#include "core/update_state.h"
#include "net/download.h"
#include "patch/scratch_copy.h"

namespace corvid {

namespace {

release_checker* checker = nullptr;

// The document accepted last, with its files' names and digests in list order.
struct accepted_document {
  bool accepted = false;
  signed_release release;
  std::unique_ptr<signed_file[]> files;
};
accepted_document accepted;

// The whole file, or false when it cannot be read or is longer than `limit`.
bool read_small_file(const char* path, std::size_t limit, std::string& bytes) {
  stdio_file file(std::fopen(path, "rb"));
  if (!file) return false;
  bytes.clear();
  char piece[4096];
  for (;;) {
    std::size_t got = std::fread(piece, 1, sizeof piece, file.get());
    if (got == 0) return std::ferror(file.get()) == 0;
    if (bytes.size() + got > limit) return false;
    bytes.append(piece, got);
  }
}

bool digest_of_file(const char* path, sha256_digest& digest) {
  stdio_file file(std::fopen(path, "rb"));
  file_digest& sum = checker->digest();
  if (!file || !sum.start()) return false;
  std::unique_ptr<unsigned char[]> piece(new (std::nothrow) unsigned char[64 * 1024]);
  if (!piece) return false;
  for (;;) {
    std::size_t got = std::fread(piece.get(), 1, 64 * 1024, file.get());
    if (got == 0) break;
    if (!sum.take(piece.get(), got)) return false;
  }
  return std::ferror(file.get()) == 0 && sum.finish(digest);
}

// Missing or unreadable: nothing was accepted yet. The file is only ever replaced whole.
accepted_serials read_kept_serials() {
  accepted_serials serials;
  std::string text;
  if (!read_small_file(accepted_serials_file_name, sizeof(accepted_serials_text), text)) return serials;
  line_source lines(text);
  if (!read_accepted_serials(lines, serials)) serials = accepted_serials{};
  return serials;
}

std::uint64_t kept_serial(const accepted_serials& serials, release_tree tree) {
  return tree == release_tree::client ? serials.client : serials.product;
}

bool read_document(const std::string& document, release_tree tree) {
  signed_document_parts parts;
  if (!split_signed_document(document, parts)) return fail(release_no_document);
  if (!checker->signed_by_release_key(parts)) return fail(release_not_signed);
  signed_release release;
  std::unique_ptr<signed_file[]> files;
  std::size_t taken = 0;
  // The values are read before the first file, so the count is known by then.
  bool read = read_signed_release(parts.signed_bytes, release, [&](const signed_file& file) {
    if (!files) files.reset(new (std::nothrow) signed_file[static_cast<std::size_t>(release.file_count)]);
    if (!files) return false;
    files[taken++] = file;
    return true;
  });
  if (!read) return fail(release_not_signed);
  if (release.tree != tree) return fail(release_wrong_tree);
  if (signed_release_expired(release, static_cast<std::uint64_t>(_time64(nullptr)))) return fail(release_expired);
  if (release.serial < kept_serial(read_kept_serials(), tree)) return fail(release_rolled_back);
  accepted.release = release;
  accepted.files = std::move(files);
  accepted.accepted = true;
  return true;
}

}  // namespace

void use_release_checker(release_checker* used) { checker = used; }

bool releases_are_signed() { return checker != nullptr; }

file_digest* release_file_digest() { return checker != nullptr ? &checker->digest() : nullptr; }

bool accept_signed_document(const char* host, release_tree tree) {
  forget_signed_release();
  std::string document;
  bool fetched = download_from_host(host, signed_document_file_name, true) &&
                 read_small_file(signed_document_file_name, max_signed_document_size, document);
  DeleteFileA(signed_document_file_name);
  if (!fetched) return fail(release_no_document);
  return read_document(document, tree);
}

bool served_file_as_signed(const char* path, served_part part) {
  const sha256_digest& signed_digest = part == served_part::list       ? accepted.release.list
                                       : part == served_part::manifest ? accepted.release.manifest
                                                                       : accepted.release.script;
  release_error error = part == served_part::list       ? release_list_differs
                        : part == served_part::manifest ? release_manifest_differs
                                                        : release_script_differs;
  sha256_digest digest;
  if (!accepted.accepted || !digest_of_file(path, digest) || digest != signed_digest) return fail(error);
  return true;
}

bool signed_release_has_script() { return accepted.accepted && accepted.release.has_script; }

bool file_list_as_signed() {
  if (!accepted.accepted || state.file_list_count != accepted.release.file_count) return fail(release_files_differ);
  for (int i = 0; i < state.file_list_count; ++i) {
    std::size_t index = static_cast<std::size_t>(i);
    if (state.file_list[index].name.view() != accepted.files[index].name.view()) return fail(release_files_differ);
  }
  return true;
}

const sha256_digest* signed_digest_of(int index) {
  if (!accepted.accepted || index < 0 || index >= accepted.release.file_count) return nullptr;
  return &accepted.files[static_cast<std::size_t>(index)].digest;
}

bool keep_accepted_serial() {
  if (!accepted.accepted) return fail(release_cannot_keep_serial);
  accepted_serials serials = read_kept_serials();
  (accepted.release.tree == release_tree::client ? serials.client : serials.product) = accepted.release.serial;
  accepted_serials_text text = format_accepted_serials(serials);
  // Written beside it and moved over it, so that an interrupted write leaves the old
  // serials rather than none; flushed whatever its size, since a serial lost to a power
  // cut would let the release before it be taken again.
  SetFileAttributesA(accepted_serials_file_name, FILE_ATTRIBUTE_NORMAL);
  scratch_copy copy(accepted_serials_file_name);
  DWORD written = 0;
  bool stored = copy.created() &&
                WriteFile(copy.handle(), text.c_str(), static_cast<DWORD>(text.view().size()), &written, nullptr) &&
                written == text.view().size() && FlushFileBuffers(copy.handle()) && copy.put_in_place();
  if (!stored) return fail(release_cannot_keep_serial);
  return true;
}

void forget_signed_release() { accepted = accepted_document{}; }

}  // namespace corvid
