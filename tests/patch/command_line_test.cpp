#include "patch/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace corvid {

namespace {

std::vector<script_line> commands_of(const std::string& text, bool* header_matched = nullptr) {
  std::vector<script_line> seen;
  line_source lines(text);
  bool matched = read_command_script(lines, [&](const script_line& line) { seen.push_back(line); });
  if (header_matched != nullptr) *header_matched = matched;
  return seen;
}

TEST(command_line, words_ignore_case_and_fields_follow_the_list_rule) {
  script_line line = parse_command_line("UnLiNk,\"a,b/\",*.tmp");
  EXPECT_EQ(line.command, script_command::unlink);
  EXPECT_EQ(line.first, "a,b/");
  EXPECT_EQ(line.second, "*.tmp");

  line = parse_command_line("MV,from");
  EXPECT_EQ(line.command, script_command::mv);
  EXPECT_EQ(line.first, "from");
  EXPECT_TRUE(line.second.empty());

  EXPECT_EQ(parse_command_line("rmdir").command, script_command::rmdir);
  EXPECT_EQ(parse_command_line("rmdir,\"unclosed").first, "");
}

TEST(command_line, skipped_and_unknown_lines_name_no_command) {
  EXPECT_EQ(parse_command_line("").command, script_command::none);
  EXPECT_EQ(parse_command_line(";unlink,,*").command, script_command::none);
  EXPECT_EQ(parse_command_line(" unlink,,*").command, script_command::none);
  EXPECT_EQ(parse_command_line("unlinks,,*").command, script_command::none);
  EXPECT_EQ(parse_command_line("del,,*").command, script_command::none);
  // Letters beyond ASCII do not fold: only the plain words are commands.
  EXPECT_EQ(parse_command_line("m\xd6,a,b").command, script_command::none);
  // A device name as any part of either argument.
  EXPECT_EQ(parse_command_line("unlink,data/,nul").command, script_command::none);
  EXPECT_EQ(parse_command_line("mv,a.dat,Com1.txt").command, script_command::none);
  EXPECT_EQ(parse_command_line("rmdir,lpt1/").command, script_command::none);
  EXPECT_EQ(parse_command_line("mv,aux\\x,b").command, script_command::none);
  EXPECT_EQ(parse_command_line("unlink,com10/,console*").command, script_command::unlink);
  EXPECT_EQ(parse_command_line("mv,a.dat,CONOUT$").command, script_command::none);
  // A move that would give a scratch copy's name, in any folder; leaving one is fine.
  EXPECT_EQ(parse_command_line("mv,old,cfetch.dat").command, script_command::none);
  EXPECT_EQ(parse_command_line("mv,data/old,data\\CFetch3.dat. ").command, script_command::none);
  EXPECT_EQ(parse_command_line("mv,cfetch.dat,kept.dat").command, script_command::mv);
}

TEST(command_line, a_field_too_long_to_hold_drops_the_whole_line) {
  std::string longest(script_field::capacity, 'a');
  script_line line = parse_command_line("unlink," + longest + ",x");
  EXPECT_EQ(line.command, script_command::unlink);
  EXPECT_EQ(line.first, longest);
  line = parse_command_line("unlink," + longest + "a,x");
  EXPECT_EQ(line.command, script_command::none);
  EXPECT_TRUE(line.first.empty());
}

TEST(command_line, a_script_runs_only_under_the_exact_header) {
  bool matched = false;
  EXPECT_TRUE(commands_of("Corvid Patch \r\nunlink,,a\r\n", &matched).empty());
  EXPECT_FALSE(matched);
  EXPECT_TRUE(commands_of("", &matched).empty());
  EXPECT_FALSE(matched);

  std::vector<script_line> seen = commands_of("Corvid Patch\r\n;rmdir,x\r\n\r\nrmdir,x\r\n bad,y\nmv,a,b", &matched);
  EXPECT_TRUE(matched);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].command, script_command::rmdir);
  EXPECT_EQ(seen[1].command, script_command::mv);
  EXPECT_EQ(seen[1].second, "b");
}

TEST(command_line, findings_give_each_line_as_written_its_first_reason_and_change_nothing_run) {
  std::string script = "Corvid Patch\n unlink,,a\nunlink,a/,\"b\nunlink,,\"" + std::string(1030, 'a') +
                       "\"\nrmdir,x,y,z\nmv,a,nul\ndel,a\nrmdir,x\n";
  auto run = [&script](script_findings* found) {
    std::vector<std::size_t> acted;
    line_source lines(script);
    read_command_script(
        lines, [&acted](const script_line& line) { acted.push_back(line.line); }, found);
    return acted;
  };
  script_findings found;
  // The piece of the long line that the client reads keeps the line's number.
  std::vector<std::size_t> acted = run(&found);
  EXPECT_EQ(acted, (std::vector<std::size_t>{3, 4, 5, 8}));
  EXPECT_EQ(run(nullptr), acted);
  std::vector<std::pair<std::size_t, script_finding>> reasons;
  for (const auto& reason : found) reasons.emplace_back(reason.line, reason.why);
  EXPECT_EQ(reasons, (std::vector<std::pair<std::size_t, script_finding>>{{2, script_finding::blank_before_command},
                                                                          {3, script_finding::unclosed_quote},
                                                                          {4, script_finding::line_split},
                                                                          {5, script_finding::extra_fields},
                                                                          {6, script_finding::device_name},
                                                                          {7, script_finding::unknown_command}}));
  EXPECT_EQ(found.back().text, "del");
}

}  // namespace

}  // namespace corvid
