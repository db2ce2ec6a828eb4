#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "patch/built_in_key.h"
#include "patch/sha256.h"
#include "patch/signature_check.h"
#include "tests/support/install_folder.h"

namespace corvid {

namespace {

const std::filesystem::path support_folder = CORVID_TEST_SUPPORT;

std::string hex_of(const sha256_digest& digest) { return std::string(hex_text(digest).view()); }

TEST(sha256, known_vectors_whole_and_fed_in_pieces) {
  sha256_digest digest;
  ASSERT_TRUE(sha256_of("", digest));
  EXPECT_EQ(hex_of(digest), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  ASSERT_TRUE(sha256_of("abc", digest));
  EXPECT_EQ(hex_of(digest), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  ASSERT_TRUE(sha256_of("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", digest));
  EXPECT_EQ(hex_of(digest), "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");

  // A million "a" in pieces of every size from 1 on, through one object that has
  // finished a digest before: nothing of the earlier one may carry over.
  sha256_hash hash;
  EXPECT_FALSE(hash.add("a", 1)) << "no digest started";
  ASSERT_TRUE(hash.start() && hash.add("left unfinished") && hash.start() && hash.add("abc") && hash.finish(digest));
  EXPECT_EQ(hex_of(digest), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_FALSE(hash.add("a", 1)) << "finished";
  const std::string million(1000000, 'a');
  ASSERT_TRUE(hash.start());
  for (std::size_t done = 0, piece = 1; done < million.size(); done += piece, ++piece) {
    ASSERT_TRUE(hash.add(million.data() + done, std::min(piece, million.size() - done)));
  }
  ASSERT_TRUE(hash.finish(digest));
  EXPECT_EQ(hex_of(digest), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

class signed_test_document : public testing::Test {
 protected:
  void SetUp() override {
    document_ = read_file(support_folder / "signed_test_document.dat");
    ASSERT_TRUE(split_signed_document(document_, parts_));
    ASSERT_NE(built_in_release_key(), nullptr);
    key_ = *built_in_release_key();
  }

  bool signed_after(std::size_t bit) {
    std::string changed = document_;
    changed[bit / 8] = static_cast<char>(changed[bit / 8] ^ (1 << bit % 8));
    signed_document_parts parts;
    return split_signed_document(changed, parts) && document_signed_by(key_, parts);
  }

  std::string document_;
  signed_document_parts parts_;
  release_public_key key_{};
};

TEST_F(signed_test_document, the_key_built_in_at_configure_time_is_the_tests_public_key) {
  std::string text = read_file(support_folder / "test_release_key.pub");
  release_public_key from_file;
  ASSERT_TRUE(parse_hex(text.substr(text.find("ecdsa-p256 ") + 11, 128), from_file)) << text;
  EXPECT_EQ(key_, from_file);
}

TEST_F(signed_test_document, a_good_signature_verifies_and_one_flipped_bit_anywhere_fails) {
  EXPECT_TRUE(document_signed_by(key_, parts_));
  // Either signature line verifies the document alone; each is flipped on its own below.
  for (std::size_t bit = 0; bit < parts_.signed_bytes.size() * 8; bit += 53) {
    EXPECT_FALSE(signed_after(bit)) << "bit " << bit << " of byte " << bit / 8;
  }

  release_key_check check;
  sha256_digest digest;
  ASSERT_TRUE(check.open(key_) && sha256_of(parts_.signed_bytes, digest));
  for (int i = 0; i < parts_.signature_count; ++i) {
    EXPECT_TRUE(check.verifies(digest, parts_.signatures[i])) << i;
    for (std::size_t bit : {0u, 255u, 256u, 511u}) {
      ecdsa_signature changed = parts_.signatures[i];
      changed[bit / 8] = static_cast<unsigned char>(changed[bit / 8] ^ (1 << bit % 8));
      EXPECT_FALSE(check.verifies(digest, changed)) << i << " bit " << bit;
    }
  }
  digest[31] ^= 1;
  EXPECT_FALSE(check.verifies(digest, parts_.signatures[0]));
}

// The point's inverse, (x, p - y), is another valid key; flipping a bit of y gives a
// point off the curve, which Wine takes at import but with which nothing verifies.
TEST_F(signed_test_document, no_other_key_verifies_it) {
  static constexpr unsigned char prime[32] = {0xff, 0xff, 0xff, 0xff, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00,
                                              0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xff, 0xff,
                                              0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff};
  release_public_key inverse = key_;
  int borrow = 0;
  for (int i = 31; i >= 0; --i) {
    int difference = prime[i] - key_[32 + i] - borrow;
    borrow = difference < 0;
    inverse[32 + i] = static_cast<unsigned char>(difference + 256 * borrow);
  }
  release_public_key off_curve = key_;
  off_curve[63] ^= 1;
  for (const release_public_key& other : {inverse, off_curve}) EXPECT_FALSE(document_signed_by(other, parts_));
}

}  // namespace

}  // namespace corvid
