# The operator's public key, built into the client when CMake configures:
# -DCORVID_RELEASE_KEY=FILE, FILE being the FILE.pub that `corvid-publish keygen` wrote.
set(CORVID_RELEASE_KEY "" CACHE FILEPATH
    "The public key file (FILE.pub of corvid-publish keygen) the client checks releases with; empty for none")

# corvid_release_key(target key_file): a library that defines built_in_release_key()
# with the key in key_file, or as null when key_file is empty. A program links exactly
# one of these, so the same client code can be linked with different keys.
function(corvid_release_key target key_file)
  set(key_bytes "")
  if(key_file)
    if(NOT EXISTS "${key_file}")
      message(FATAL_ERROR "release key ${key_file}: no such file")
    endif()
    file(READ "${key_file}" text)
    string(REPLACE "\r\n" "\n" text "${text}")
    if(text MATCHES "\nprivate ")
      message(FATAL_ERROR "release key ${key_file} holds the private key: give its .pub file")
    endif()
    set(hex "")
    if(text MATCHES "^Corvid Release Key\npublic ecdsa-p256 ([0-9a-f]+)\n$")
      set(hex "${CMAKE_MATCH_1}")
    endif()
    string(LENGTH "${hex}" hex_length)
    if(NOT hex_length EQUAL 128)
      message(FATAL_ERROR "release key ${key_file} is not a public key file of corvid-publish keygen")
    endif()
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," key_bytes "${hex}")
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${key_file}")
  endif()

  # The checker, and with it bcrypt.dll, comes in only with a key.
  if(key_bytes STREQUAL "")
    set(key_value "nullptr")
    set(checker_include "")
    set(checker_value "nullptr")
    set(checker_definition "")
  else()
    set(key_value "&key")
    set(checker_include "#include \"patch/cng_release_checker.h\"")
    set(checker_value "&checker")
    set(checker_definition "static cng_release_checker checker(key);")
  endif()
  set(source ${CMAKE_CURRENT_BINARY_DIR}/${target}.cpp)
  file(CONFIGURE OUTPUT ${source} CONTENT
"// Written by CMake from \"@key_file@\".
#include \"patch/built_in_key.h\"
@checker_include@

namespace corvid {

[[maybe_unused]] static constexpr release_public_key key = {@key_bytes@};

const release_public_key* built_in_release_key() { return @key_value@; }

release_checker* built_in_release_checker() {
  @checker_definition@
  return @checker_value@;
}

}  // namespace corvid
" @ONLY)
  add_library(${target} STATIC ${source})
  if(key_bytes STREQUAL "")
    target_link_libraries(${target} PUBLIC corvid_patch_format)
  else()
    target_link_libraries(${target} PUBLIC corvid_patch_crypto)
  endif()
endfunction()
