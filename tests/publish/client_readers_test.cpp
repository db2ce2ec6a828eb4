// What corvid-publish writes, read back by the update client's own list readers: the
// two tools must agree on every byte the client parses.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <memory>

#include "patch/list_format.h"
#include "publish_test_support.h"

namespace corvid {

namespace fs = std::filesystem;

namespace {

constexpr long long release_time = 1700000000;

std::uint32_t crc_of(const std::string& bytes) {
  return static_cast<std::uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

std::string inflate_exactly(const std::string& packed, std::uint32_t size) {
  std::string out(size, '\0');
  uLongf length = size;
  EXPECT_EQ(uncompress(reinterpret_cast<Bytef*>(out.data()), &length, reinterpret_cast<const Bytef*>(packed.data()),
                       static_cast<uLong>(packed.size())),
            Z_OK);
  EXPECT_EQ(length, size);
  return out;
}

// The client's reading of one list text: header, count, then the entries, whole or not at all.
std::vector<file_entry> read_with_client_rules(const std::string& text) {
  line_source lines(std::string_view{text});
  int count = 0;
  EXPECT_TRUE(read_list_header(lines, count));
  std::vector<file_entry> entries(static_cast<std::size_t>(std::max(count, 0)));
  EXPECT_TRUE(read_entry_lines(lines, entries.data(), count));
  return entries;
}

void expect_entries_match(const std::vector<file_entry>& entries, const fs::path& source, const fs::path& tree,
                          std::size_t expected_count) {
  ASSERT_EQ(entries.size(), expected_count);
  for (const file_entry& entry : entries) {
    std::string name(entry.name.view());
    SCOPED_TRACE(name);
    std::string bytes = read_file(source / name);
    EXPECT_EQ(entry.size, bytes.size());
    EXPECT_EQ(entry.crc32, crc_of(bytes));
    EXPECT_EQ(entry.time, static_cast<std::uint32_t>(release_time));
    std::string lower = name;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    std::string packed = read_file(tree / lower);
    EXPECT_EQ(packed.size(), entry.packed_size);
    EXPECT_EQ(inflate_exactly(packed, entry.size), bytes);
  }
}

TEST(publish_client_readers, the_client_reads_every_published_entry_and_the_header_as_written) {
  install_folder temp{"publish"};
  fs::path release = temp / "release";
  const std::vector<std::pair<std::string, std::string>> files = {
      {"Readme.txt", "Read me.\r\n"},
      {"a,b.dat", "comma"},
      {"empty.cfg", ""},
      {"Data/Sub/big.bin", noise(3 * 1024 * 1024, 11)},
  };
  for (const auto& [name, bytes] : files) {
    write_file(release / name, bytes);
    set_modified(release / name, release_time);
  }
  fs::path client = temp / "client";
  write_file(client / "talomar.exe", noise(20000, 5));
  set_modified(client / "talomar.exe", release_time);

  fs::path out = temp / "site";
  tool_run run = run_publish({"build", "--release", release.string(), "--client", client.string(), "--out",
                              out.string(), "--utc-offset", "0", "--layout", "flat"});
  ASSERT_EQ(run.exit_code, 0) << run.err;

  std::string header = read_file(out / "product" / "cpatch.dat");
  file_entry manifest;
  ASSERT_TRUE(parse_patch_header(reinterpret_cast<const unsigned char*>(header.data()), header.size(), manifest));
  std::string packed_manifest = read_file(out / "product" / "gfl.mft");
  EXPECT_EQ(manifest.packed_size, packed_manifest.size());
  std::string manifest_text = inflate_exactly(packed_manifest, manifest.size);
  EXPECT_EQ(manifest.crc32, crc_of(manifest_text));

  expect_entries_match(read_with_client_rules(manifest_text), release, out / "product", files.size());
  expect_entries_match(read_with_client_rules(read_file(out / "client" / "cpatch.dat")), client, out / "client", 1);
}

}  // namespace

}  // namespace corvid
