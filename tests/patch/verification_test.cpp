#include "patch/verification.h"

#include <windows.h>

#include <string>
#include <vector>

#include "core/progress_view.h"
#include "core/update_state.h"
#include "patch/local_files.h"
#include "tests/patch/patch_fixture.h"

namespace corvid {

namespace {

constexpr std::uint32_t listed_time = 0x5F000000;

class verification_test : public patch_test {
 protected:
  // The update client's list, as the driver leaves it in "cpatch.dat".
  bool check_client_list(const std::vector<std::string>& entries, const std::string& end = "\n") {
    std::string text = "Corvid Patch" + end + std::to_string(entries.size()) + end;
    for (const std::string& line : entries) text += line + end;
    write("cpatch.dat", text);
    return read_client_file_list("cpatch.dat");
  }

  // Stores `text` as the manifest and returns the header entry that describes it.
  file_entry store_manifest(const std::string& text) {
    std::string bytes = packed(text);
    write("gfl.mft", bytes);
    file_entry manifest;
    manifest.name.assign("gfl.mft");
    manifest.size = static_cast<std::uint32_t>(text.size());
    manifest.packed_size = static_cast<std::uint32_t>(bytes.size());
    return manifest;
  }

  const file_entry& listed(int i) const { return state.file_list[i]; }
};

TEST_F(verification_test, default_check_trusts_length_and_time_the_complete_one_reads) {
  write("same.dat", "XXXXXXXX");
  set_modification_time("same.dat", stamped_time_of(listed_time));
  std::string line = entry_line_for("same.dat", "abcdefgh", listed_time);

  ASSERT_TRUE(check_client_list({line}));
  EXPECT_FALSE(listed(0).needs_fetch);
  EXPECT_EQ(state.total_bytes_to_fetch, 0u);

  state.complete_file_check_flag = 1;
  ASSERT_TRUE(check_client_list({line}));
  EXPECT_TRUE(listed(0).needs_fetch);
  EXPECT_EQ(state.total_bytes_to_fetch, listed(0).packed_size);
}

TEST_F(verification_test, right_content_with_another_time_is_stamped_and_then_not_opened) {
  write("map.dat", "content of the map");
  set_modification_time("map.dat", stamped_time_of(listed_time) - 7200);
  std::string line = entry_line_for("map.dat", "content of the map", listed_time);

  ASSERT_TRUE(check_client_list({line}));
  EXPECT_FALSE(listed(0).needs_fetch);
  EXPECT_EQ(modification_time("map.dat"), static_cast<std::int64_t>(listed_time) + 18000);

  // A read of the file would fail now and mark it; the default check must not read it.
  locked_file held("map.dat");
  ASSERT_TRUE(check_client_list({line}));
  EXPECT_FALSE(listed(0).needs_fetch);
}

TEST_F(verification_test, without_a_daylight_rule_every_file_of_the_right_length_is_read) {
  use_time_zone("UTC0", 3600);
  write("map.dat", "content of the map");
  set_modification_time("map.dat", stamped_time_of(listed_time));
  std::string line = entry_line_for("map.dat", "content of the map", listed_time);

  ASSERT_TRUE(check_client_list({line}));
  EXPECT_FALSE(listed(0).needs_fetch);
  EXPECT_EQ(modification_time("map.dat"), static_cast<std::int64_t>(listed_time));

  locked_file held("map.dat");
  ASSERT_TRUE(check_client_list({line}));
  EXPECT_TRUE(listed(0).needs_fetch) << "the time never agrees, so the checksum is taken";
}

TEST_F(verification_test, missing_and_wrong_length_files_count_their_packed_size) {
  write("short.dat", "abc");
  write("good.dat", "good");
  set_modification_time("good.dat", stamped_time_of(1));
  ASSERT_TRUE(check_client_list(
      {"10,100,0,0,missing.dat", "4,20,0,0,short.dat", entry_line_for("good.dat", "good", 2), "5,3,0,0,sub/none.dat"},
      "\r\n"));
  EXPECT_TRUE(listed(0).needs_fetch);
  EXPECT_TRUE(listed(1).needs_fetch);
  EXPECT_FALSE(listed(2).needs_fetch);
  EXPECT_TRUE(listed(3).needs_fetch);
  EXPECT_EQ(state.total_bytes_to_fetch, 0x100u + 0x20 + 3);
  EXPECT_EQ(state.file_list_count, 4);
}

TEST_F(verification_test, the_total_holds_at_its_top_instead_of_wrapping) {
  ASSERT_TRUE(check_client_list({"1,fffffff0,0,0,a.dat", "1,20,0,0,b.dat"}));
  EXPECT_EQ(state.total_bytes_to_fetch, 0xFFFFFFFFu);
}

TEST_F(verification_test, a_refused_list_touches_no_file_and_keeps_the_old_list) {
  ASSERT_TRUE(check_client_list({"1,2,3,4,old.dat"}));
  write("map.dat", "content");
  set_modification_time("map.dat", 1000);
  std::string good = entry_line_for("map.dat", "content", listed_time);

  EXPECT_FALSE(check_client_list({good, "1,1,1,1,../../outside.dll"}));
  EXPECT_EQ(modification_time("map.dat"), 1000) << "not stamped";
  EXPECT_FALSE(check_client_list({good, "1,1,1,1,C:/Windows/system32/x.dll"}));
  EXPECT_FALSE(check_client_list({good, "1,1,1,1,\\x.dll"}));
  EXPECT_EQ(modification_time("map.dat"), 1000);

  // An invalid header or count leaves the previous list alone.
  write("cpatch.dat", "Corvid Patch\n0\n1,2,3,4,x.dat\n");
  EXPECT_FALSE(read_client_file_list("cpatch.dat"));
  write("cpatch.dat", "Corvid Patch \n1\n1,2,3,4,x.dat\n");
  EXPECT_FALSE(read_client_file_list("cpatch.dat"));
  EXPECT_FALSE(read_client_file_list("absent.dat"));
  EXPECT_EQ(state.file_list_count, 2);
}

TEST_F(verification_test, cancel_stops_the_check_before_the_next_entry) {
  state.cancel_flag = 1;
  EXPECT_FALSE(check_client_list({"1,2,3,4,a.dat"}));
  EXPECT_FALSE(listed(0).needs_fetch);
}

TEST_F(verification_test, a_manifest_is_inflated_whole_and_checked) {
  write("a.dat", "aaaa");
  std::string text =
      "Corvid Patch\r\n2\r\n" + entry_line_for("a.dat", "aaaa", listed_time) + "\r\n5,9,0,0,b.dat\r\nignored line\r\n";
  file_entry manifest = store_manifest(text);
  ASSERT_TRUE(check_product_files(manifest));
  EXPECT_EQ(state.file_list_count, 2);
  EXPECT_FALSE(listed(0).needs_fetch);
  EXPECT_TRUE(listed(1).needs_fetch);
  EXPECT_EQ(state.total_bytes_to_fetch, 9u);
}

TEST_F(verification_test, a_manifest_that_is_not_what_its_header_says_fails) {
  std::string nine = "Corvid Patch\n10\n";
  for (int i = 0; i < 9; ++i) nine += "1,1,0,0,f" + std::to_string(i) + ".dat\n";
  EXPECT_FALSE(check_product_files(store_manifest(nine)));

  std::string one = "Corvid Patch\n1\n1,1,0,0,f.dat\n";
  file_entry manifest = store_manifest(one);
  ASSERT_TRUE(check_product_files(manifest));
  manifest.size += 1;
  EXPECT_FALSE(check_product_files(manifest)) << "inflates to one byte less than its size";
  manifest.size -= 2;
  EXPECT_FALSE(check_product_files(manifest)) << "inflates to more than its size";
  manifest.size += 1;
  write("gfl.mft", packed(one) + "x");
  EXPECT_FALSE(check_product_files(manifest)) << "longer than its packed size";
  write("gfl.mft", "not a zlib stream at all");
  manifest.packed_size = 24;
  EXPECT_FALSE(check_product_files(manifest));
}

// A stand-in for the progress window that records what status line 2 is given.
class status_line_test : public verification_test, private progress_view {
 protected:
  status_line_test() { state.view = this; }

  std::vector<std::string> status_texts;

 private:
  void status_line_1(const char*) override {}
  void status_line_2(const char* text) override { status_texts.emplace_back(text); }
  void file_bar(int) override {}
  void overall_bar(int) override {}
  void title(const char*) override {}
};

TEST_F(status_line_test, checking_lines_count_the_entries_only_in_a_complete_check) {
  file_entry manifest = store_manifest("Corvid Patch\n3\n1,1,0,0,a\n1,1,0,0,b\n1,1,0,0,c\n");
  ASSERT_TRUE(check_product_files(manifest));
  EXPECT_TRUE(status_texts.empty());

  state.complete_file_check_flag = 1;
  ASSERT_TRUE(check_product_files(manifest));
  EXPECT_EQ(status_texts,
            (std::vector<std::string>{"Checking file 1 of 3", "Checking file 2 of 3", "Checking file 3 of 3"}));
}

TEST_F(verification_test, crc_of_a_file_larger_than_one_read_and_0_when_it_cannot_be_read) {
  std::string big(3 * crc_read_size + 123, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 + i / 300);
  write("big.bin", big);
  EXPECT_EQ(file_crc32("big.bin"), crc_of(big));
  write("empty.bin", "");
  EXPECT_EQ(file_crc32("empty.bin"), 0u);
  EXPECT_EQ(file_crc32("absent.bin"), 0u);
  // Found and of a known length, but not readable.
  locked_file held("big.bin");
  EXPECT_EQ(file_crc32("big.bin"), 0u);
}

TEST_F(verification_test, stat_and_stamp_agree_through_the_bias) {
  write("gfl.mft", "12345");
  ASSERT_TRUE(stamp_file_time("gfl.mft", listed_time));
  file_entry found;
  ASSERT_TRUE(stat_file("gfl.mft", found));
  EXPECT_EQ(found.name, "gfl.mft");
  EXPECT_EQ(found.size, 5u);
  EXPECT_EQ(found.time, listed_time);
  EXPECT_FALSE(stat_file("absent.mft", found));
  EXPECT_FALSE(stamp_file_time("absent.mft", listed_time));
}

TEST_F(verification_test, patch_header_files_short_or_without_magic_fail) {
  const char bytes[] = "CP~\x04\x03\x02\x01\x10\0\0\0\0\0\0\0\x01\0\0\0";
  write("cpatch.dat", std::string(bytes, 19));
  file_entry manifest;
  ASSERT_TRUE(read_patch_header("cpatch.dat", manifest));
  EXPECT_EQ(manifest.size, 0x01020304u);
  EXPECT_EQ(manifest.packed_size, 0x10u);
  EXPECT_EQ(manifest.time, 1u);
  write("cpatch.dat", std::string(bytes, 18));
  EXPECT_FALSE(read_patch_header("cpatch.dat", manifest));
  write("cpatch.dat", "<html>404</html>   ");
  EXPECT_FALSE(read_patch_header("cpatch.dat", manifest));
  EXPECT_FALSE(read_patch_header("absent.dat", manifest));
}

}  // namespace

}  // namespace corvid
