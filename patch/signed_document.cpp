#include "patch/signed_document.h"

#include <string>

#include "patch/list_format.h"

namespace corvid {

namespace {

constexpr std::string_view format_line = "signed release 1";
constexpr std::size_t digest_digits = 2 * sha256_digest().size();

// The value after "keyword " on a line that begins with exactly that.
bool value_after(std::string_view line, std::string_view keyword, std::string_view& value) {
  if (line.size() <= keyword.size() || line.substr(0, keyword.size()) != keyword || line[keyword.size()] != ' ')
    return false;
  value = line.substr(keyword.size() + 1);
  return true;
}

// Decimal digits without a sign or a leading zero, within 64 bits.
bool parse_number(std::string_view text, std::uint64_t& value) {
  if (text.empty() || (text[0] == '0' && text.size() > 1)) return false;
  std::uint64_t result = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    auto digit = static_cast<std::uint64_t>(c - '0');
    if (result > (UINT64_MAX - digit) / 10) return false;
    result = result * 10 + digit;
  }
  value = result;
  return true;
}

// No line the format allows fills a buffer, so one that does was longer than it.
template <std::size_t N>
bool read_line(line_source& lines, fixed_text<N>& line) {
  return lines.next(line, long_line::split) && line.size() < fixed_text<N>::capacity;
}

bool is_control_byte(char c) { return static_cast<unsigned char>(c) < 0x20; }

bool holds_control_byte(std::string_view text) {
  for (char c : text) {
    if (is_control_byte(c)) return true;
  }
  return false;
}

}  // namespace

bool split_signed_document(std::string_view document, signed_document_parts& parts) {
  if (document.size() > max_signed_document_size) return false;
  std::size_t first = document.find("\nsignature ");
  if (first == std::string_view::npos) return false;
  std::string_view signature_lines = document.substr(first + 1);
  std::size_t count = signature_lines.size() / signature_line_size;
  if (count < 1 || count > max_document_signatures || signature_lines.size() % signature_line_size != 0) return false;
  signed_document_parts split;
  split.signed_bytes = document.substr(0, first + 1);
  for (std::size_t i = 0; i < count; ++i) {
    std::string_view line = signature_lines.substr(i * signature_line_size, signature_line_size);
    std::string_view value;
    if (line.back() != '\n' || !value_after(line.substr(0, line.size() - 1), "signature", value) ||
        !parse_hex(value, split.signatures[i]))
      return false;
  }
  split.signature_count = static_cast<int>(count);
  parts = split;
  return true;
}

bool signed_release_reader::read_values(signed_release& release) {
  // A zero byte would end a line's text early and a carriage return would hide in it:
  // either way bytes would be read that the writer never writes.
  for (char c : bytes_) {
    if (is_control_byte(c) && c != '\n') return false;
  }
  if (bytes_.empty() || bytes_.back() != '\n') return false;

  signed_release read;
  list_text_line line;
  std::string_view value;
  if (!read_line(lines_, line) || !is_list_header_line(line)) return false;
  if (!read_line(lines_, line) || line.view() != format_line) return false;
  if (!read_line(lines_, line) || !value_after(line, "tree", value)) return false;
  if (value == "client") {
    read.tree = release_tree::client;
  } else if (value != "product") {
    return false;
  }
  if (!read_line(lines_, line) || !value_after(line, "serial", value) || !parse_number(value, read.serial) ||
      read.serial == 0)
    return false;
  if (!read_line(lines_, line)) return false;
  if (value_after(line, "expires", value)) {
    if (!parse_number(value, read.expires) || read.expires == 0 || !read_line(lines_, line)) return false;
  }
  if (!value_after(line, "list", value) || !parse_hex(value, read.list)) return false;
  if (read.tree == release_tree::product) {
    if (!read_line(lines_, line) || !value_after(line, "manifest", value) || !parse_hex(value, read.manifest))
      return false;
    if (!read_line(lines_, line) || !value_after(line, "script", value)) return false;
    read.has_script = value != "none";
    if (read.has_script && !parse_hex(value, read.script)) return false;
  }
  std::uint64_t count = 0;
  if (!read_line(lines_, line) || !value_after(line, "files", value) || !parse_number(value, count) || count < 1 ||
      count > max_listed_files)
    return false;
  read.file_count = static_cast<int>(count);
  release = read;
  files_left_ = read.file_count;
  return true;
}

bool signed_release_reader::next_file(signed_file& file) {
  if (files_left_ <= 0) return false;
  list_entry_line line;
  if (!read_line(lines_, line)) return false;
  std::string_view text = line.view();
  if (text.size() <= digest_digits + 1 || text[digest_digits] != ' ') return false;
  signed_file read;
  if (!parse_hex(text.substr(0, digest_digits), read.digest) || !read.name.assign(text.substr(digest_digits + 1)) ||
      !listed_name_is_installable(read.name.view()))
    return false;
  file = read;
  --files_left_;
  return true;
}

bool signed_release_reader::at_end() {
  list_entry_line line;
  return files_left_ == 0 && !lines_.next(line, long_line::split);
}

bool format_signed_release(const signed_release& release, std::span<const signed_file> files, std::string& text) {
  text.clear();
  if (release.serial == 0 || files.empty() || files.size() > max_listed_files) return false;
  std::string out;
  out.reserve(128 + files.size() * (digest_digits + 32));
  out.append(list_header_text).append("\n").append(format_line).append("\n");
  out += release.tree == release_tree::client ? "tree client\n" : "tree product\n";
  out += "serial " + std::to_string(release.serial) + "\n";
  if (release.expires != 0) out += "expires " + std::to_string(release.expires) + "\n";
  out.append("list ").append(hex_text(release.list).view()).append("\n");
  if (release.tree == release_tree::product) {
    out.append("manifest ").append(hex_text(release.manifest).view()).append("\n");
    out.append("script ").append(release.has_script ? hex_text(release.script).view() : "none").append("\n");
  }
  out += "files " + std::to_string(files.size()) + "\n";
  for (const signed_file& file : files) {
    std::string_view name = file.name.view();
    if (!listed_name_is_installable(name) || holds_control_byte(name)) return false;
    out.append(hex_text(file.digest).view()).append(" ").append(name).append("\n");
  }
  text = std::move(out);
  return true;
}

fixed_text<signature_line_size + 1> signature_line(const ecdsa_signature& signature) {
  fixed_text<signature_line_size + 1> line("signature ");
  line.append(hex_text(signature).view());
  line.append('\n');
  return line;
}

bool read_accepted_serials(line_source& lines, accepted_serials& serials) {
  list_text_line line;
  std::string_view value;
  accepted_serials read;
  if (!read_line(lines, line) || !is_list_header_line(line)) return false;
  if (!read_line(lines, line) || !value_after(line, "client", value) || !parse_number(value, read.client)) return false;
  if (!read_line(lines, line) || !value_after(line, "product", value) || !parse_number(value, read.product))
    return false;
  serials = read;
  return true;
}

accepted_serials_text format_accepted_serials(const accepted_serials& serials) {
  accepted_serials_text text(list_header_text);
  text.append("\nclient ");
  text.append(std::to_string(serials.client));
  text.append("\nproduct ");
  text.append(std::to_string(serials.product));
  text.append('\n');
  return text;
}

}  // namespace corvid
