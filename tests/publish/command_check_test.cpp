#include <gtest/gtest.h>

#include "publish/command_check.h"

namespace {
std::vector<std::string> refusals(const std::string& script) {
  std::vector<std::string> problems;
  check_command_script(script, problems);
  return problems;
}
}  // namespace

TEST(publish_command_check, lines_the_client_carries_out_as_written_pass) {
  EXPECT_EQ(refusals("Corvid Patch\r\n"
                     "; old files\r\n"
                     "\r\n"
                     "unlink,data/,*.tmp\r\n"
                     "UNLINK,,old?.log\n"
                     "unlink,\"my data\\cache/\",\"a,b*.dat\"\n"
                     "rmdir,data/old\n"
                     "rmdir,data/older/\n"
                     "mv,data/a.pak,data/b.pak\n"
                     "mv,x,y,\n"),
            std::vector<std::string>{});
}

TEST(publish_command_check, each_refused_line_is_named_by_its_number) {
  std::string script =
      "Corvid Patch\n"
      "unlink,data,*.tmp\n"                  // 2: no trailing separator
      "unlink,../,*.dat\n"                   // 3: leaves the folder
      "rmdir,..\n"                           // 4: the parent itself
      "mv,a.txt,C:/a.txt\n"                  // 5: another drive
      "mv,a.txt\n"                           // 6: no new name
      "remove,a.txt\n"                       // 7: unknown
      " unlink,data/,*.tmp\n"                // 8: blank in the command word
      "unlink,data/,\"*.tmp\n"               // 9: unclosed quote
      "unlink,data/,sub/*.tmp\n"             // 10: folder in the pattern
      "rmdir,/windows\n"                     // 11: root
      "mv,a*,b\n"                            // 12: wildcard outside unlink
      "unlink,data/,x,y\n"                   // 13: four fields
      "rmdir,a,b\n"                          // 14: rmdir takes one
      "unlink,da\"ta/,x\n"                   // 15: quote inside a field
      "unlink,data/\n"                       // 16: no pattern
      "; fine\n"
      "rmdir,data/sub/../../..\n"            // 18: ".." deeper down
      "unlink,data/," + std::string(256, 'x') + "\n"  // 19: field too long
      "mv,\"a\"b,c\n";                       // 20: text after a closing quote
  std::vector<std::string> problems = refusals(script);
  std::vector<int> numbers;
  for (const std::string& problem : problems) numbers.push_back(std::stoi(problem.substr(5)));
  EXPECT_EQ(numbers, (std::vector<int>{2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 18, 19, 20}));
  ASSERT_GE(problems.size(), 6u);
  EXPECT_EQ(problems[0],
            "line 2: the folder of unlink must end with \"/\"; the client joins it to the pattern as it stands");
  EXPECT_EQ(problems[5], "line 7: unknown command \"remove\"; the client knows unlink, rmdir and mv");
}

TEST(publish_command_check, the_header_must_stand_alone_on_line_1) {
  EXPECT_EQ(refusals("Corvid Patch \nunlink,,a\n"),
            std::vector<std::string>{"line 1: the first line must be \"Corvid Patch\""});
  EXPECT_EQ(refusals(""), std::vector<std::string>{"line 1: the first line must be \"Corvid Patch\""});
  EXPECT_EQ(refusals("unlink,,a\n").size(), 1u);
}

TEST(publish_command_check, a_line_over_1023_characters_is_refused) {
  std::string script = "Corvid Patch\nunlink,,\"" + std::string(1030, 'a') + "\"\n";
  std::vector<std::string> problems = refusals(script);
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(problems[0].rfind("line 2: longer than 1023", 0), 0u) << problems[0];
}
