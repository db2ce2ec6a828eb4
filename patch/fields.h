#pragma once
// The field rule shared by the file lists and the command script: comma-separated
// fields, a field may be enclosed in double quotes to hold commas, nothing is trimmed.

#include <cstdint>
#include <string_view>

namespace corvid {

// Where the rule reads a field otherwise than it is written.
enum class field_quirk {
  none,
  unclosed_quote,     // no field is taken
  text_before_quote,  // dropped: the field is what the quotes enclose, if they are closed
  text_after_quote,   // left for the next field
};

// Takes the next field off the front of `line`. False when `line` is empty or a
// quoted field has no closing quote; `field` and `line` are left as they were then.
// `field` views the characters of `line`. `quirk`, when given, is set for every field.
bool next_field(std::string_view& line, std::string_view& field, field_quirk* quirk = nullptr);

// Takes the next field and converts it the way strtoul does on a 32-bit unsigned
// long: leading white space, an optional sign and "0x" prefix, digits up to the first
// other character, no digits giving 0, too large a value giving 0xFFFFFFFF. Only the
// first 255 characters of the field are looked at. Without a field, `value` is left
// unchanged.
bool next_hex_field(std::string_view& line, std::uint32_t& value, int base);

// The conversion of next_hex_field, on a whole text.
std::uint32_t parse_unsigned(std::string_view text, int base);

// atoi's reading of a decimal number: leading white space, an optional sign, digits up
// to the first other character. Values beyond the int range are held at its ends.
int parse_decimal(std::string_view text);

}  // namespace corvid
