#include "patch/fields.h"

#include <climits>

#include "text/format_limits.h"

namespace corvid {

namespace {

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

int digit_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  return 99;
}

// Both number readers start alike: blanks, then an optional sign. Returns where the
// digits begin and sets `negative`.
std::size_t skip_blanks_and_sign(std::string_view text, bool& negative) {
  std::size_t i = 0;
  while (i < text.size() && is_space(text[i])) ++i;
  negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  return i;
}

}  // namespace

bool next_field(std::string_view& line, std::string_view& field, field_quirk* quirk) {
  field_quirk ignored;
  field_quirk& seen = quirk != nullptr ? *quirk : ignored;
  seen = field_quirk::none;
  if (line.empty()) return false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    char c = line[i];
    if (c == ',') {
      field = line.substr(0, i);
      line.remove_prefix(i + 1);
      return true;
    }
    if (c == '\n') break;
    if (c == '"') {
      std::size_t close = line.find('"', i + 1);
      if (close == std::string_view::npos) {
        seen = i > 0 ? field_quirk::text_before_quote : field_quirk::unclosed_quote;
        return false;
      }
      field = line.substr(i + 1, close - i - 1);
      std::size_t next = close + 1;
      if (i > 0) {
        seen = field_quirk::text_before_quote;
      } else if (next < line.size() && line[next] != ',') {
        seen = field_quirk::text_after_quote;
      }
      if (next < line.size() && line[next] == ',') ++next;
      line.remove_prefix(next);
      return true;
    }
  }
  std::size_t end = line.find('\n');
  field = line.substr(0, end == std::string_view::npos ? line.size() : end);
  line = std::string_view();
  return true;
}

std::uint32_t parse_unsigned(std::string_view text, int base) {
  bool negative = false;
  std::size_t i = skip_blanks_and_sign(text, negative);
  // The prefix counts only in front of a digit: "0x" alone reads as the 0 before it.
  if (base == 16 && i + 2 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X') &&
      digit_value(text[i + 2]) < 16) {
    i += 2;
  }
  std::uint64_t value = 0;
  bool overflow = false;
  for (; i < text.size() && digit_value(text[i]) < base; ++i) {
    value = value * static_cast<unsigned>(base) + static_cast<unsigned>(digit_value(text[i]));
    if (value > 0xFFFFFFFFu) {
      overflow = true;
      value = 0xFFFFFFFFu;
    }
  }
  if (overflow) return 0xFFFFFFFFu;
  std::uint32_t result = static_cast<std::uint32_t>(value);
  return negative ? 0u - result : result;
}

bool next_hex_field(std::string_view& line, std::uint32_t& value, int base) {
  std::string_view field;
  if (!next_field(line, field)) return false;
  value = parse_unsigned(field.substr(0, max_name_length), base);
  return true;
}

int parse_decimal(std::string_view text) {
  bool negative = false;
  std::size_t i = skip_blanks_and_sign(text, negative);
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    if (value <= INT_MAX) value = value * 10 + (text[i] - '0');
  }
  if (negative) value = -value;
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

}  // namespace corvid
