#pragma once
// The operator's public key, built into the client with -DCORVID_RELEASE_KEY=FILE.
// Each program links the key of its choice (cmake/release_key.cmake), so that one build
// can hold a client with the operator's key beside one with the tests' key.

#include "patch/signing_values.h"

namespace corvid {

// Null in a client built without a key: it checks no signature and runs as every
// client before signed releases did.
const release_public_key* built_in_release_key();

}  // namespace corvid
