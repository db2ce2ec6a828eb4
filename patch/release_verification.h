#pragma once
// The checks of a client with a built-in release key: each tree's signed document is
// fetched and accepted before anything it covers is used, every served file it names
// must have its digest, and the serial of each accepted tree is kept, so that an older
// release served again is refused. Without a checker none of this runs, and the client
// fetches exactly what it fetched before releases were signed.

#include <cstdint>

#include "patch/built_in_key.h"
#include "patch/signed_document.h"

namespace corvid {

// Codes left in `state.last_error_code` when a release is refused. The player is shown
// one message for all of them; the code tells the operator which check failed.
enum release_error : std::int32_t {
  release_no_document = 401,         // csigned.dat could not be fetched, or is no signed document
  release_not_signed = 402,          // no signature of the built-in key, or unreadable signed values
  release_wrong_tree = 403,          // the other tree's document
  release_expired = 404,             // its expiry has passed
  release_rolled_back = 405,         // a serial below the one accepted before
  release_list_differs = 406,        // cpatch.dat is not the one signed
  release_manifest_differs = 407,    // gfl.mft, fetched or kept, is not the one signed
  release_script_differs = 408,      // command.dat is not the one signed, or is missing
  release_files_differ = 409,        // the list names other files, or another count
  release_cannot_keep_serial = 410,  // cserial.dat could not be written
};

// The checker of every check below; null (the default) for a client without a key.
void use_release_checker(release_checker* checker);
bool releases_are_signed();
// The checker's digest, for the files as they inflate; null without a checker.
file_digest* release_file_digest();

// Fetches the tree's document from `host` and accepts it: signed by the key, of `tree`,
// not expired and with a serial no lower than the one accepted before.
bool accept_signed_document(const char* host, release_tree tree);

enum class served_part { list, manifest, script };
// Whether the file at `path` is, byte for byte, what the accepted document signed.
bool served_file_as_signed(const char* path, served_part part);
bool signed_release_has_script();

// After the list is read: the file list names exactly the document's files, in order.
bool file_list_as_signed();
// The digest the document gives the file list's entry `index`; null without a document.
const sha256_digest* signed_digest_of(int index);

// Writes the accepted document's serial for its tree into cserial.dat, in one step.
bool keep_accepted_serial();

// Drops the accepted document; for tests.
void forget_signed_release();

}  // namespace corvid
