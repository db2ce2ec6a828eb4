#include "publish/release_signing.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "patch/signed_document.h"
#include "tests/support/install_folder.h"

namespace fs = std::filesystem;

namespace corvid::publish {

namespace {

const fs::path support_folder = CORVID_TEST_SUPPORT;

release_key_pair new_key() {
  release_key_pair key;
  std::string error;
  EXPECT_TRUE(generate_release_key(key, error)) << error;
  return key;
}

std::string signed_by(std::string_view bytes, std::vector<release_key_pair> keys) {
  std::string document, error;
  EXPECT_TRUE(sign_release_document(bytes, keys, document, error)) << error;
  return document;
}

bool checks(std::string_view document, const release_public_key& key) {
  std::string error;
  return check_release_document(document, key, error);
}

TEST(release_key_files, keygen_writes_a_private_file_for_its_owner_and_never_replaces_a_key) {
  install_folder folder("keygen");
  fs::path key_file = folder / "release";
  std::string error;
  ASSERT_TRUE(create_release_key(key_file, error)) << error;
  release_key_pair pair;
  release_public_key public_key;
  ASSERT_TRUE(read_private_key_file(key_file, pair, error)) << error;
  ASSERT_TRUE(read_public_key_file(folder / "release.pub", public_key, error)) << error;
  EXPECT_EQ(pair.public_key, public_key);
#ifndef _WIN32
  EXPECT_EQ(fs::status(key_file).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
#endif

  // The client's build reads the public file; each reader refuses the other's file.
  EXPECT_FALSE(read_public_key_file(key_file, public_key, error));
  EXPECT_NE(error.find("holds the private key"), std::string::npos) << error;
  EXPECT_FALSE(read_private_key_file(folder / "release.pub", pair, error));

  std::string before = folder.read("release");
  EXPECT_FALSE(create_release_key(key_file, error));
  EXPECT_NE(error.find("never replaces a key"), std::string::npos) << error;
  EXPECT_EQ(folder.read("release"), before);
  folder.write("second.pub", "kept");
  EXPECT_FALSE(create_release_key(folder / "second", error));
  EXPECT_FALSE(folder.exists("second"));
  EXPECT_EQ(folder.read("second.pub"), "kept");
}

TEST(release_key_files, only_the_exact_layout_is_a_key_file) {
  install_folder folder("key-layout");
  release_key_pair pair = new_key();
  std::string text = format_private_key_file(pair);
  folder.write("crlf", "Corvid Release Key\r\n" + text.substr(text.find('\n') + 1));
  release_key_pair read;
  std::string error;
  EXPECT_TRUE(read_private_key_file(folder / "crlf", read, error)) << error;
  EXPECT_EQ(read.private_key, pair.private_key);
  for (const std::string& bad : {text + "\n", text.substr(1), text.substr(0, text.size() - 2) + "\n"}) {
    folder.write("bad", bad);
    EXPECT_FALSE(read_private_key_file(folder / "bad", read, error)) << bad;
  }
}

TEST(release_signing, a_document_verifies_with_each_signing_key_and_nothing_else_does) {
  release_key_pair old_key = new_key(), new_key_pair = new_key();
  const std::string body = "Corvid Patch\nsigned release 1\n";
  std::string document = signed_by(body, {old_key, new_key_pair});
  signed_document_parts parts;
  ASSERT_TRUE(split_signed_document(document, parts));
  EXPECT_EQ(parts.signed_bytes, body);
  EXPECT_EQ(parts.signature_count, 2);
  EXPECT_TRUE(checks(document, old_key.public_key));
  EXPECT_TRUE(checks(document, new_key_pair.public_key));
  EXPECT_FALSE(checks(document, new_key().public_key));

  // One flipped bit anywhere, in the signed bytes or in a signature, and the document
  // no longer verifies with that key.
  document = signed_by(body, {old_key});
  for (std::size_t bit = 0; bit < document.size() * 8; bit += 37) {
    std::string changed = document;
    changed[bit / 8] = static_cast<char>(changed[bit / 8] ^ (1 << bit % 8));
    EXPECT_FALSE(checks(changed, old_key.public_key)) << "bit " << bit;
  }

  release_key_pair mismatched = old_key;
  mismatched.public_key = new_key_pair.public_key;
  std::string unused, error;
  EXPECT_FALSE(sign_release_document(body, std::vector<release_key_pair>{mismatched}, unused, error));
  EXPECT_NE(error.find("does not belong"), std::string::npos) << error;
}

// Both builds of the tool sign: each signature line of the committed document was made
// by the other build (one with OpenSSL, one with CNG), and each must verify here.
TEST(release_signing, signatures_made_by_either_build_verify_in_both) {
  release_key_pair key;
  std::string error;
  ASSERT_TRUE(read_private_key_file(support_folder / "test_release_key", key, error)) << error;
  std::string document = read_file(support_folder / "signed_test_document.dat");
  signed_document_parts parts;
  ASSERT_TRUE(split_signed_document(document, parts));
  ASSERT_EQ(parts.signature_count, 2);
  for (int i = 0; i < parts.signature_count; ++i) {
    EXPECT_TRUE(release_signature_verifies(key.public_key, parts.signed_bytes, parts.signatures[i])) << i;
  }
  EXPECT_TRUE(checks(signed_by(parts.signed_bytes, {key}), key.public_key));
}

}  // namespace

}  // namespace corvid::publish
