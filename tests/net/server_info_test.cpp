#include "net/server_info.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <tuple>

namespace corvid {

namespace {

struct file_closer {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

// The text as a file, read back from its start.
std::unique_ptr<std::FILE, file_closer> file_of(const std::string& text) {
  std::FILE* file = std::tmpfile();
  std::fwrite(text.data(), 1, text.size(), file);
  std::rewind(file);
  return std::unique_ptr<std::FILE, file_closer>(file);
}

server_info read_text(const std::string& text) {
  auto file = file_of(text);
  line_source lines(file.get());
  return read_server_info(lines);
}

const std::string head = "Corvid Patch\nClient.Example\nProduct.Example/Files\nunused\n";

TEST(server_info_test, malformed_heads_are_told_apart) {
  EXPECT_EQ(read_text("<html>Not Found</html>\n").outcome, server_info_outcome::wrong_first_line);
  EXPECT_EQ(read_text("corvid patch\nc\np\n").outcome, server_info_outcome::wrong_first_line);
  EXPECT_EQ(read_text("Corvid Patch\n\np\n").outcome, server_info_outcome::no_client_host);
  EXPECT_EQ(read_text("Corvid Patch\nc\n").outcome, server_info_outcome::no_product_host);
  EXPECT_EQ(read_text("Corvid Patch\r\nc\r\np\r\n").outcome, server_info_outcome::plain);
}

TEST(server_info_test, hosts_are_lower_cased_and_an_empty_keyword_is_plain) {
  server_info info = read_text(head + "\n");
  EXPECT_EQ(info.outcome, server_info_outcome::plain);
  EXPECT_EQ(info.client_host.view(), "client.example");
  EXPECT_EQ(info.product_host.view(), "product.example/files");
  EXPECT_FALSE(info.max_patch_size_given);
  EXPECT_EQ(read_text(head).outcome, server_info_outcome::plain);
}

TEST(server_info_test, keyword_sections) {
  server_info mft = read_text(head + "MFT\nHdr.One\nHdr.Two\n");
  EXPECT_EQ(mft.outcome, server_info_outcome::header_hosts_given);
  EXPECT_EQ(mft.client_header_host.view(), "hdr.one");
  EXPECT_EQ(mft.product_header_host.view(), "hdr.two");

  server_info uurl = read_text(head + "uUrl\nNew.Place/Info.TXT\n");
  EXPECT_EQ(uurl.outcome, server_info_outcome::redirected);
  EXPECT_EQ(uurl.new_location.view(), "new.place/info.txt");

  server_info mps = read_text(head + "mps\n50\n");
  EXPECT_EQ(mps.outcome, server_info_outcome::plain);
  EXPECT_TRUE(mps.max_patch_size_given);
  EXPECT_EQ(mps.max_patch_size, 52428800u);

  EXPECT_EQ(read_text(head + "mps\nlots\n").max_patch_size, 0u);
  EXPECT_FALSE(read_text(head + "mpsx\n50\n").max_patch_size_given);
}

TEST(server_info_test, alternate_pairs_end_with_a_consumed_pair_and_may_be_followed_by_mps) {
  server_info three = read_text(head + "AURL\nc0\np0\nC1\nP1\nc2\np2\n\nconsumed\nMps\n3\n");
  EXPECT_EQ(three.outcome, server_info_outcome::alternate_hosts);
  ASSERT_EQ(three.alternate_host_count, 3);
  EXPECT_EQ(three.alternate_hosts[0][1].view(), "C1");  // taken as they stand
  EXPECT_EQ(three.alternate_hosts[1][2].view(), "p2");
  EXPECT_TRUE(three.alternate_hosts[0][3].empty());
  EXPECT_TRUE(three.alternate_hosts[1][3].empty());
  EXPECT_EQ(three.max_patch_size, 3u * 1048576);

  // Without the ending pair consumed, "mps" would be read as a host.
  server_info product_empty = read_text(head + "aurl\nc0\np0\nc1\n\nmps\n4\n");
  EXPECT_EQ(product_empty.alternate_host_count, 1);
  EXPECT_TRUE(product_empty.alternate_hosts[0][1].empty());
  EXPECT_EQ(product_empty.max_patch_size, 4u * 1048576);

  server_info at_end = read_text(head + "aurl");
  EXPECT_EQ(at_end.alternate_host_count, 0);
  EXPECT_FALSE(at_end.max_patch_size_given);

  std::string ten;
  for (int i = 0; i < 10; ++i) ten += "c" + std::to_string(i) + "\np" + std::to_string(i) + "\n";
  server_info full = read_text(head + "aurl\n" + ten + "mps\n2\n");
  EXPECT_EQ(full.alternate_host_count, 10);
  EXPECT_EQ(full.alternate_hosts[1][9].view(), "p9");
  EXPECT_EQ(full.max_patch_size, 2u * 1048576);
}

TEST(server_info_test, the_down_notice_takes_up_to_five_lines_and_is_cut_to_its_buffer) {
  EXPECT_EQ(read_text(head + "down\nClosed for repairs.\nBack soon.").down_notice.view(),
            "Closed for repairs.\nBack soon.\n");
  EXPECT_EQ(read_text(head + "DOWN\nClosed for repairs.\nBack soon.\n").down_notice.view(),
            "Closed for repairs.\nBack soon.\n\n");
  EXPECT_EQ(read_text(head + "down\n1\n2\n3\n4\n5\n6\n").down_notice.view(), "1\n2\n3\n4\n5\n");
  // A last line of the greatest length, without a line feed, is the last all the same.
  EXPECT_EQ(read_text(head + "down\n" + std::string(1023, 'e')).down_notice.view(), std::string(1023, 'e') + "\n");

  std::string long_line(1023, 'L');
  server_info cut = read_text(head + "down\n" + long_line + "\n" + long_line + "\n" + long_line + "\n" + long_line +
                              "\n" + long_line + "\n");
  EXPECT_EQ(cut.outcome, server_info_outcome::down);
  EXPECT_EQ(cut.down_notice.size(), 4095u);
}

TEST(server_info_test, findings_say_where_the_client_stops_skips_or_reads_otherwise) {
  using reasons = std::vector<std::pair<std::size_t, server_info_finding>>;
  auto reasons_in = [](const std::string& text) {
    line_source lines(text);
    server_info_findings found;
    read_server_info(lines, &found);
    reasons told;
    for (const auto& reason : found) told.emplace_back(reason.line, reason.why);
    return told;
  };
  EXPECT_EQ(reasons_in(head + "aurl\nc\np\n\n\nmps\n7\n"), reasons{});
  EXPECT_EQ(reasons_in("Corvid patch\nc\np\n"), (reasons{{1, server_info_finding::wrong_first_line}}));
  EXPECT_EQ(reasons_in("Corvid Patch\n"), (reasons{{2, server_info_finding::location_missing}}));
  EXPECT_EQ(reasons_in(head + "mft\nh\n"), (reasons{{7, server_info_finding::location_missing}}));
  EXPECT_EQ(reasons_in(head + "mps\nlots\nmore\n"),
            (reasons{{6, server_info_finding::limit_not_a_number}, {7, server_info_finding::unread_lines}}));
  EXPECT_EQ(reasons_in(head + "mps\n4096\n"), (reasons{{6, server_info_finding::limit_not_a_number}}));
  EXPECT_EQ(reasons_in(head + "mps"), (reasons{{6, server_info_finding::limit_missing}}));
  EXPECT_EQ(reasons_in(head + "down"), (reasons{{5, server_info_finding::no_notice}}));
  EXPECT_EQ(reasons_in(head + "aurl\n\n\nextra\n"),
            (reasons{{7, server_info_finding::no_mirror_pair}, {8, server_info_finding::not_mps_after_mirrors}}));
  EXPECT_EQ(reasons_in(head + "mirrors\nc\n"), (reasons{{5, server_info_finding::unknown_keyword}}));

  // Each location on its own line, as written; the pair that ends the mirrors is none, and
  // missing ones are on the lines they would have had.
  using places = std::vector<std::tuple<std::size_t, location_role, std::string>>;
  auto places_in = [](const std::string& text) {
    line_source lines(text);
    std::vector<location_read> read;
    read_server_info(lines, nullptr, &read);
    places told;
    for (const location_read& at : read) told.emplace_back(at.line, at.which, at.text);
    return told;
  };
  EXPECT_EQ(places_in(head + "aurl\nA\nb\n\n\n"), (places{{2, location_role::client_host, "Client.Example"},
                                                          {3, location_role::product_host, "Product.Example/Files"},
                                                          {6, location_role::mirror, "A"},
                                                          {7, location_role::mirror, "b"}}));
  EXPECT_EQ(places_in(head + "mft\n").back(), (places::value_type{7, location_role::product_header_host, ""}));
  EXPECT_EQ(places_in(head + "uurl\nNew\n").back(), (places::value_type{6, location_role::redirect, "New"}));
}

TEST(server_info_test, megabytes_read_as_atoi_would_and_saturate_instead_of_wrapping) {
  EXPECT_EQ(max_patch_size_from("50"), 52428800u);
  EXPECT_EQ(max_patch_size_from("  \t12abc"), 12u * 1048576);
  EXPECT_EQ(max_patch_size_from("+1"), 1048576u);
  EXPECT_EQ(max_patch_size_from("abc"), 0u);
  EXPECT_EQ(max_patch_size_from(""), 0u);
  EXPECT_EQ(max_patch_size_from("-5"), 0u);
  EXPECT_EQ(max_patch_size_from("4095"), 4095u * 1048576);
  EXPECT_EQ(max_patch_size_from("5000"), 0xFFFFFFFFu);
  EXPECT_EQ(max_patch_size_from("99999999999999999999"), 0xFFFFFFFFu);
}

}  // namespace

}  // namespace corvid
