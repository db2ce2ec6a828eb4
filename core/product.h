#pragma once
// The version and the fixed names that the client, the publishing tool and the client's
// resource script share. The resource compiler reads the macros alone.

#define CORVID_VERSION_MAJOR 1
#define CORVID_VERSION_MINOR 32
// The numbers as text, "1.32": the tokens between the parentheses are spelled as written
// once the macros in them are replaced.
#define CORVID_TEXT_OF(tokens) #tokens
#define CORVID_SPELLED(tokens) CORVID_TEXT_OF(tokens)
#define CORVID_VERSION CORVID_SPELLED(CORVID_VERSION_MAJOR.CORVID_VERSION_MINOR)

#define CORVID_PRODUCT_NAME "Corvid Update"
#define CORVID_STARTER_NAME "talomar.exe"

#ifdef __cplusplus

namespace corvid {

inline constexpr const char* version = CORVID_VERSION;
inline constexpr const char* user_agent = CORVID_PRODUCT_NAME " v. " CORVID_VERSION;

// The client's own files in the installation folder: the program under the game's
// starter name, the copy it hands over to, where it finds the server, its translation.
inline constexpr const char* starter_name = CORVID_STARTER_NAME;
inline constexpr const char* overlay_copy_name = "patch.bin";
inline constexpr const char* update_location_file = "update.dat";
inline constexpr const char* language_file = "language/patch_strings.dat";

// What an update server publishes. One name serves the server information file's local
// copy, the update client's file list and the patch header, which are fetched one after
// the other.
inline constexpr const char* list_file_name = "cpatch.dat";
inline constexpr const char* command_script_name = "command.dat";
inline constexpr const char* manifest_file_name = "gfl.mft";
// Published at the root of each tree and fetched into the installation folder under the
// same name. No listed file may take it, nor the next name.
inline constexpr const char* signed_document_file_name = "csigned.dat";
// Kept in the installation folder: the highest serial accepted for each tree, so that
// an older release served again is refused.
inline constexpr const char* accepted_serials_file_name = "cserial.dat";

}  // namespace corvid

#endif
