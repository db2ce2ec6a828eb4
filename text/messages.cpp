#include "text/messages.h"

#include <iterator>

#include "text/printf_template.h"
#include "text/string_table.h"

namespace corvid {

namespace {

struct catalogue_entry {
  message number;
  const char* english;
  const char* conversions;  // of a template: 's' text, 'd' int, 'f' floating point
};

constexpr catalogue_entry catalogue[] = {
    {message::complete_check_question, "Do complete file-check (this may take a few minutes).", ""},
    {message::prompt_ok, "OK", ""},
    {message::cancel, "Cancel", ""},
    {message::program_name, "Corvid Update", ""},
    {message::notes_caption, "Update Notes", ""},
    {message::notes_ok, "OK", ""},
    {message::server_status_caption, "Server Status", ""},
    {message::checking_file_of, "Checking file %d of %d", "dd"},
    {message::connecting, "Connecting to update server...", ""},
    {message::please_wait, "Please wait.", ""},
    {message::error_caption, "Error Message", ""},
    {message::login_program_running,
     "The Login client is already running.\nIf you're not running the Login client,\nyou may need to "
     "reboot your computer.",
     ""},
    {message::cannot_complete_caption, "Cannot Complete Update", ""},
    {message::game_running,
     "Talomar is already running.\nIf you're not running Talomar,\nyou may need to reboot your computer.", ""},
    {message::cannot_start_internet, "Cannot start Internet Services.", ""},
    {message::cannot_connect, "Cannot connect to update server.", ""},
    {message::checking_client, "Checking for new update client...", ""},
    {message::cannot_retrieve_client_information, "Cannot retrieve patch utility update information.", ""},
    {message::cannot_parse_client_information, "Cannot parse patch utility update information.", ""},
    {message::cannot_update_client, "Cannot update patch utility.", ""},
    {message::client_updated,
     "The Corvid Update client has been updated.\nPlease close this message box and run the\nprogram again.", ""},
    {message::checking_files, "Checking for updated files...", ""},
    {message::cannot_retrieve_product_information, "Cannot retrieve product update information.", ""},
    {message::cannot_open_manifest_information, "Cannot open manifest update information.", ""},
    {message::cannot_parse_product_information, "Cannot parse product update information.", ""},
    {message::too_much_to_fetch,
     "This client cannot update your Talomar installation\nbecause a large number of key files are missing "
     "or corrupted.\n\nPlease re-install the game from your installation CD and try again.",
     ""},
    {message::product_update_failed, "Could not complete product update.", ""},
    {message::transfer_status, "Total: %.1f %s of %.1f %s (%.1f %s)", "fsfsfs"},
    {message::megabytes, "MB", ""},
    {message::kilobytes, "KB", ""},
    {message::megabytes_per_second, "MB/Sec", ""},
    {message::kilobytes_per_second, "KB/Sec", ""},
    {message::getting_file, "Getting updated file: %s", "s"},
    {message::network_advice,
     "%s\nWait a while and try connecting again.\nIf you still cannot connect, check your Internet settings.", "s"},
    {message::update_not_verified, "The update could not be verified.", ""},
    {message::folder_needs_administrator,
     "The game folder cannot be written without administrator rights:\n%s\n\nStart Talomar again and allow it to "
     "make changes, or ask an administrator to update the game.",
     "s"},
};

const catalogue_entry& entry_of(message number) {
  for (const catalogue_entry& entry : catalogue) {
    if (entry.number == number) return entry;
  }
  // Every enumerator has its line above; this is never reached.
  return catalogue[0];
}

}  // namespace

const char* english_text(message number) { return entry_of(number).english; }

const char* message_text(const string_table& table, message number) {
  return table.lookup(english_text(number), static_cast<std::uint16_t>(number));
}

const char* message_template(const string_table& table, message number) {
  const catalogue_entry& entry = entry_of(number);
  const char* text = table.lookup(entry.english, static_cast<std::uint16_t>(number));
  return printf_template_fits(text, entry.conversions) ? text : entry.english;
}

}  // namespace corvid
