#include <gtest/gtest.h>

#include "publish/server_info.h"

namespace corvid {

using namespace corvid::publish;

namespace {
server_info_settings hosts() {
  server_info_settings info;
  info.client_host = "patch.example.com/client";
  info.product_host = "patch.example.com/product";
  return info;
}

std::string written(const server_info_settings& info) {
  std::string text;
  std::vector<std::string> problems;
  EXPECT_TRUE(format_server_info(info, text, problems)) << (problems.empty() ? "" : problems[0]);
  std::vector<std::string> layout;
  EXPECT_TRUE(check_server_info_text(text, layout)) << (layout.empty() ? "" : layout[0]);
  return text;
}

const std::string head = "Corvid Patch\npatch.example.com/client\npatch.example.com/product\n\n";
}  // namespace

TEST(publish_server_info, each_section_is_written_as_the_client_reads_it) {
  server_info_settings info = hosts();
  EXPECT_EQ(written(info), head + "\n");

  info.max_patch_mb = 50;
  EXPECT_EQ(written(info), head + "mps\n50\n");

  info.mirrors = {{"m1.example.com/c", "m1.example.com/p"}, {"m2.example.com/c", "m2.example.com/p"}};
  EXPECT_EQ(written(info), head +
                               "aurl\nm1.example.com/c\nm1.example.com/p\nm2.example.com/c\nm2.example.com/p\n"
                               "\n\nmps\n50\n");

  server_info_settings mft = hosts();
  mft.header_hosts = host_pair{"h.example.com/c", "h.example.com/p"};
  EXPECT_EQ(written(mft), head + "mft\nh.example.com/c\nh.example.com/p\n");

  server_info_settings down = hosts();
  down.down_lines = {"Maintenance until 18:00.", "Sorry!"};
  EXPECT_EQ(written(down), head + "down\nMaintenance until 18:00.\nSorry!\n");

  server_info_settings moved = hosts();
  moved.redirect = "new.example.com/info.txt";
  EXPECT_EQ(written(moved), head + "uurl\nnew.example.com/info.txt\n");
}

TEST(publish_server_info, ten_mirrors_need_no_ending_pair) {
  server_info_settings info = hosts();
  for (int i = 0; i < 10; ++i) info.mirrors.push_back({"c" + std::to_string(i), "p" + std::to_string(i)});
  info.max_patch_mb = 1;
  std::string text = written(info);
  EXPECT_NE(text.find("c9\np9\nmps\n1\n"), std::string::npos) << text;
  info.mirrors.push_back({"c10", "p10"});
  std::string ignored;
  std::vector<std::string> problems;
  EXPECT_FALSE(format_server_info(info, ignored, problems));
}

TEST(publish_server_info, what_the_client_cannot_read_is_refused) {
  auto refused = [](const server_info_settings& info) {
    std::string text;
    std::vector<std::string> problems;
    return !format_server_info(info, text, problems) && !problems.empty();
  };
  for (std::string location : {"http://a.example.com", "a.example.com/", "A.example.com", "a b", "", "a.example.com\\x",
                               "/a", "a.example.com/a#b", "a.example.com/%41", "a.example.com/i?x=1"}) {
    server_info_settings info = hosts();
    info.client_host = location;
    EXPECT_TRUE(refused(info)) << location;
  }
  server_info_settings both = hosts();
  both.header_hosts = host_pair{"h/c", "h/p"};
  both.max_patch_mb = 10;
  EXPECT_TRUE(refused(both));
  server_info_settings mixed = hosts();
  mixed.down_lines = {"closed"};
  mixed.redirect = "x.example.com/i";
  EXPECT_TRUE(refused(mixed));
  server_info_settings wide = hosts();
  wide.max_patch_mb = 4096;
  EXPECT_TRUE(refused(wide));
  server_info_settings talkative = hosts();
  talkative.down_lines = {"1", "2", "3", "4", "5", "6"};
  EXPECT_TRUE(refused(talkative));
}

TEST(publish_server_info, the_layout_check_finds_what_a_hand_written_file_gets_wrong) {
  auto problems_in = [](const std::string& text) {
    std::vector<std::string> problems;
    check_server_info_text(text, problems);
    return problems.size();
  };
  EXPECT_EQ(problems_in("Corvid Patch\nPatch.Example.com\np\n\nAURL\nc\np\n\n\nmps\n7\n"), 0u);
  EXPECT_EQ(problems_in("Corvid patch\nc\np\n\n\n"), 1u);
  EXPECT_EQ(problems_in("Corvid Patch\n\np\n\n\n"), 1u);
  EXPECT_EQ(problems_in("Corvid Patch\nc\np\n\nmirrors\nc\n"), 1u);
  EXPECT_EQ(problems_in("Corvid Patch\nc\np\n\nmft\nh\n"), 1u);
  std::vector<std::string> mirror;
  check_server_info_text("Corvid Patch\nc\np\n\naurl\nc\np\nA b\np2\n\n\n", mirror);
  ASSERT_EQ(mirror.size(), 1u);
  EXPECT_EQ(mirror[0].rfind("line 8: a mirror: ", 0), 0u) << mirror[0];
  EXPECT_EQ(problems_in("Corvid Patch\nc\np\n\nmps\nlots\n"), 1u);
  EXPECT_EQ(problems_in("Corvid Patch\nc\np\n\n\nforgotten\n"), 1u);
  EXPECT_EQ(problems_in("\xEF\xBB\xBF"
                        "Corvid Patch\nc\np\n\n\n"),
            1u);
}

}  // namespace corvid
