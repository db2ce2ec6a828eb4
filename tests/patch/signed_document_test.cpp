#include "patch/signed_document.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace corvid {

namespace {

sha256_digest digest_of_byte(unsigned char byte) {
  sha256_digest digest;
  digest.fill(byte);
  return digest;
}

signed_file file_named(const char* name, unsigned char byte) {
  signed_file file;
  file.name.assign(name);
  file.digest = digest_of_byte(byte);
  return file;
}

signed_release product_release() {
  signed_release release;
  release.serial = 42;
  release.expires = 1767225600;
  release.list = digest_of_byte(0x01);
  release.manifest = digest_of_byte(0x02);
  release.has_script = true;
  release.script = digest_of_byte(0x03);
  return release;
}

const std::vector<signed_file> product_files = {file_named("data/map.dat", 0xab), file_named(" a, b.dat", 0xcd)};

std::string hex_run(const char* pair, int bytes = 32) {
  std::string run;
  for (int i = 0; i < bytes; ++i) run += pair;
  return run;
}

std::string product_text() {
  return "Corvid Patch\nsigned release 1\ntree product\nserial 42\nexpires 1767225600\nlist " + hex_run("01") +
         "\nmanifest " + hex_run("02") + "\nscript " + hex_run("03") + "\nfiles 2\n" + hex_run("ab") +
         " data/map.dat\n" + hex_run("cd") + "  a, b.dat\n";
}

struct reading {
  bool taken = false;
  signed_release release;
  std::vector<signed_file> files;
};

reading read_text(std::string_view text) {
  reading result;
  result.taken = read_signed_release(text, result.release, [&](const signed_file& file) {
    result.files.push_back(file);
    return true;
  });
  return result;
}

TEST(signed_document, the_writer_spells_the_format_and_the_reader_gives_back_what_it_wrote) {
  std::string text;
  ASSERT_TRUE(format_signed_release(product_release(), product_files, text));
  EXPECT_EQ(text, product_text());

  reading read = read_text(text);
  ASSERT_TRUE(read.taken);
  EXPECT_EQ(read.release.tree, release_tree::product);
  EXPECT_EQ(read.release.serial, 42u);
  EXPECT_EQ(read.release.expires, 1767225600u);
  EXPECT_EQ(read.release.list, digest_of_byte(0x01));
  EXPECT_EQ(read.release.manifest, digest_of_byte(0x02));
  EXPECT_TRUE(read.release.has_script);
  EXPECT_EQ(read.release.script, digest_of_byte(0x03));
  ASSERT_EQ(read.files.size(), 2u);
  EXPECT_EQ(read.files[1].name, " a, b.dat") << "the name is the rest of the line, blanks and commas too";
  EXPECT_EQ(read.files[1].digest, digest_of_byte(0xcd));

  // The client tree has no manifest or script line, and a document without an expiry no
  // expiry line.
  signed_release client;
  client.tree = release_tree::client;
  client.serial = 7;
  client.list = digest_of_byte(0x0f);
  client.has_script = true;
  ASSERT_TRUE(format_signed_release(client, std::vector<signed_file>{file_named("talomar.exe", 0x10)}, text));
  EXPECT_EQ(text, "Corvid Patch\nsigned release 1\ntree client\nserial 7\nlist " + hex_run("0f") + "\nfiles 1\n" +
                      hex_run("10") + " talomar.exe\n");
  read = read_text(text);
  ASSERT_TRUE(read.taken);
  EXPECT_EQ(read.release.tree, release_tree::client);
  EXPECT_EQ(read.release.expires, 0u);
  EXPECT_FALSE(read.release.has_script);
}

TEST(signed_document, every_other_spelling_is_refused) {
  const std::string good = product_text();
  auto with = [&](const std::string& from, const std::string& to) {
    std::string text = good;
    std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return text.replace(at, from.size(), to);
  };
  const std::string script_line = "script " + hex_run("03") + "\n";
  for (const std::string& text : {
           with("\n", "\r\n"),
           good.substr(0, good.size() - 1),
           good + "\n",
           good + hex_run("ee") + " extra.dat\n",
           with("signed release 1", "signed release 2"),
           with("tree product", "tree Product"),
           with("serial 42", "serial 042"),
           with("serial 42", "serial 0"),
           with("serial 42", "serial +42"),
           with("serial 42", "serial 18446744073709551616"),
           with("serial 42", "serial  42"),
           with("expires 1767225600", "expires 0"),
           with("list " + hex_run("01"), "list " + hex_run("0F")),
           with("list " + hex_run("01"), "list " + hex_run("01") + "00"),
           with(script_line, ""),
           with(script_line, "script None\n"),
           with("tree product", "tree client"),
           with("files 2", "files 3"),
           with("files 2", "files 1"),
           with("files 2", "files 0"),
           with(" data/map.dat", " ../map.dat"),
           with(" data/map.dat", " CSigned.dat"),
           with(" data/map.dat", " data/map.dat\t"),
           with(" data/map.dat", std::string(" data/\0map.dat", 14)),
           with(" data/map.dat", " " + std::string(256, 'n')),
           with(" data/map.dat", ""),
       }) {
    EXPECT_FALSE(read_text(text).taken) << text;
  }
  EXPECT_TRUE(read_text(with("expires 1767225600\n", "")).taken);
  EXPECT_TRUE(read_text(with(script_line, "script none\n")).taken);
  EXPECT_TRUE(read_text(with(" data/map.dat", " " + std::string(255, 'n'))).taken);

  std::string text;
  signed_release release = product_release();
  EXPECT_FALSE(format_signed_release(release, std::vector<signed_file>{}, text));
  EXPECT_FALSE(format_signed_release(release, std::vector<signed_file>{file_named("../x", 1)}, text));
  EXPECT_FALSE(format_signed_release(release, std::vector<signed_file>{file_named("a\rb", 1)}, text));
  release.serial = 0;
  EXPECT_FALSE(format_signed_release(release, product_files, text));
  EXPECT_TRUE(text.empty());
}

TEST(signed_document, the_signatures_cover_every_byte_before_the_first_signature_line) {
  ecdsa_signature first, second;
  first.fill(0x5a);
  second.fill(0xa5);
  const std::string body = product_text();
  std::string document = body + signature_line(first).c_str() + signature_line(second).c_str();
  signed_document_parts parts;
  ASSERT_TRUE(split_signed_document(document, parts));
  EXPECT_EQ(parts.signed_bytes, body);
  ASSERT_EQ(parts.signature_count, 2);
  EXPECT_EQ(parts.signatures[0], first);
  EXPECT_EQ(parts.signatures[1], second);

  const std::string line = signature_line(first).c_str();
  EXPECT_EQ(line, "signature " + hex_run("5a", 64) + "\n");
  for (const std::string& refused : {
           body,
           body + line + line + line + line + line,
           body + line + "\n",
           body + line.substr(0, line.size() - 1),
           body + line + hex_run("ee") + " late.dat\n",
           body + "signature " + hex_run("5A", 64) + "\n",
           body + "Signature " + hex_run("5a", 64) + "\n",
       }) {
    EXPECT_FALSE(split_signed_document(refused, parts)) << refused;
  }
  EXPECT_FALSE(
      split_signed_document(std::string(max_signed_document_size + 1 - line.size(), 'x') + "\n" + line, parts));
}

TEST(signed_document, expiry_and_the_accepted_serials) {
  signed_release release;
  EXPECT_FALSE(signed_release_expired(release, UINT64_MAX)) << "no expiry line, no expiry";
  release.expires = 1000;
  EXPECT_FALSE(signed_release_expired(release, 999));
  EXPECT_TRUE(signed_release_expired(release, 1000));

  accepted_serials serials{3, 18446744073709551615u};
  accepted_serials_text text = format_accepted_serials(serials);
  EXPECT_EQ(text, "Corvid Patch\nclient 3\nproduct 18446744073709551615\n");
  accepted_serials read;
  line_source lines("Corvid Patch\r\nclient 3\r\nproduct 18446744073709551615\r\n");
  ASSERT_TRUE(read_accepted_serials(lines, read));
  EXPECT_EQ(read.client, 3u);
  EXPECT_EQ(read.product, 18446744073709551615u);
  for (const char* refused : {"Corvid Patch\nproduct 1\nclient 1\n", "Corvid Patch\nclient 1\n",
                              "client 1\nproduct 1\n", "Corvid Patch\nclient -1\nproduct 1\n"}) {
    accepted_serials kept{5, 6};
    line_source bad(refused);
    EXPECT_FALSE(read_accepted_serials(bad, kept)) << refused;
    EXPECT_EQ(kept.client, 5u);
  }
}

}  // namespace

}  // namespace corvid
