#pragma once
// Every text the player can be shown, by number. The numbers are the line numbers of the
// language file, which translators rely on, so they never change; each message has its
// English text here, used whenever the language file gives none.

#include <cstdint>

namespace corvid {

class string_table;

enum class message : std::uint16_t {
  complete_check_question = 2,
  prompt_ok = 3,
  cancel = 4,
  program_name = 5,
  notes_caption = 6,
  notes_ok = 7,
  server_status_caption = 12,
  checking_file_of = 13,  // template: file number, file count
  connecting = 14,
  please_wait = 15,
  error_caption = 17,
  login_program_running = 18,
  cannot_complete_caption = 19,
  game_running = 20,
  cannot_start_internet = 21,
  cannot_connect = 24,
  checking_client = 25,
  cannot_retrieve_client_information = 26,
  cannot_parse_client_information = 27,
  cannot_update_client = 28,
  client_updated = 29,
  checking_files = 30,
  cannot_retrieve_product_information = 31,
  cannot_open_manifest_information = 32,
  cannot_parse_product_information = 34,
  too_much_to_fetch = 35,
  product_update_failed = 37,
  transfer_status = 38,  // template: done, unit, total, unit, rate, unit
  megabytes = 39,
  kilobytes = 40,
  megabytes_per_second = 41,
  kilobytes_per_second = 42,
  getting_file = 43,    // template: file name
  network_advice = 44,  // template: the failure's own message
  // 45 stays unused: a language file of 44 lines that ends in a line feed reads it as
  // blank, and the player would see an empty box.
  // A client built with the operator's key met something the key did not sign.
  update_not_verified = 46,
  folder_needs_administrator = 47,  // template: the game folder
};

// The English text of a message.
const char* english_text(message number);

// The message's text from `table`, or its English text.
const char* message_text(const string_table& table, message number);

// The same for a template. A language file is input: a translation whose conversions do
// not match the arguments the program passes would read arguments that are not there,
// so it gives way to the English template.
const char* message_template(const string_table& table, message number);

}  // namespace corvid
