#include <gtest/gtest.h>

#include "publish/command_check.h"

namespace corvid {

using namespace corvid::publish;

namespace {
std::vector<std::string> refusals(const std::string& script, const std::vector<std::string>& installed = {}) {
  std::vector<std::string> problems;
  check_command_script(script, installed, problems);
  return problems;
}

std::vector<int> refused_lines(const std::string& script, const std::vector<std::string>& installed = {}) {
  std::vector<int> numbers;
  for (const std::string& problem : refusals(script, installed)) numbers.push_back(std::stoi(problem.substr(5)));
  return numbers;
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
                     "mv,x,y,\n",
                     {"data/map.pak", "data/b.pak", "Data/Old/keep.txt"}),
            std::vector<std::string>{});
  // The client reads the script as a text file: nothing after a Ctrl-Z is ever run.
  EXPECT_EQ(refusals("Corvid Patch\nrmdir,old/\n\x1a\nremove,everything\n"), std::vector<std::string>{});
}

TEST(publish_command_check, each_refused_line_is_named_by_its_number) {
  std::string script =
      "Corvid Patch\n"
      "unlink,data,*.tmp\n"       // 2: no trailing separator
      "unlink,../,*.dat\n"        // 3: leaves the folder
      "rmdir,..\n"                // 4: the parent itself
      "mv,a.txt,C:/a.txt\n"       // 5: another drive
      "mv,a.txt\n"                // 6: no new name
      "remove,a.txt\n"            // 7: unknown
      " unlink,data/,*.tmp\n"     // 8: blank in the command word
      "unlink,data/,\"*.tmp\n"    // 9: unclosed quote
      "unlink,data/,sub/*.tmp\n"  // 10: folder in the pattern
      "rmdir,/windows\n"          // 11: root
      "mv,a*,b\n"                 // 12: wildcard outside unlink
      "unlink,data/,x,y\n"        // 13: four fields
      "rmdir,a,b\n"               // 14: rmdir takes one
      "unlink,da\"ta/,x\n"        // 15: quote inside a field
      "unlink,data/\n"            // 16: no pattern
      "; fine\n"
      "rmdir,data/sub/../../..\n"  // 18: ".." deeper down
      "unlink,data/," +
      std::string(256, 'x') +
      "\n"             // 19: field too long
      "mv,\"a\"b,c\n"  // 20: text after a closing quote
      "unlink,,\"" +
      std::string(1030, 'a') +
      "\"\n"                        // 21: split by the client's line buffer
      "rmdir,data/x\n"              // 22: fine, and still line 22
      "mv,old.txt,data/nul.txt\n";  // 23: a device
  EXPECT_EQ(refused_lines(script),
            (std::vector<int>{2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 18, 19, 20, 21, 23}));
  std::vector<std::string> problems = refusals(script);
  ASSERT_EQ(problems.size(), 20u);
  EXPECT_EQ(problems[0],
            "line 2: the folder of unlink must end with \"/\"; the client joins it to the pattern as it stands");
  EXPECT_EQ(problems[5], "line 7: unknown command \"remove\"; the client knows unlink, rmdir and mv");
  EXPECT_EQ(problems[18].rfind("line 21: too long", 0), 0u) << problems[18];
}

TEST(publish_command_check, lines_that_would_take_away_what_the_client_needs_are_refused) {
  const std::vector<std::string> installed = {"Data/Map.pak", "readme.txt", "sound/a.wav"};
  std::string script =
      "Corvid Patch\n"
      "unlink,data/,*.pak\n"           // 2: a file the release installs, any letter case
      "unlink,,*\n"                    // 3: everything at the top
      "unlink,,*.*\n"                  // 4: the same with a dot
      "unlink,,talomar.*\n"            // 5: the client itself
      "unlink,language/,*.dat\n"       // 6: its translation
      "mv,update.dat,update.old\n"     // 7: its location file
      "mv,sound,old-sound\n"           // 8: a folder holding release files
      "unlink,./data\\,map.pak\n"      // 9: the same folder written otherwise
      "unlink,data/,*.tmp\n"           // fine
      "unlink,sound/sub/,*\n"          // fine: nothing listed there
      "mv,readme.txt.bak,notes.txt\n"  // fine
      "mv,old,data/cfetch.dat\n";      // 13: stands in the way of every fetch into data/
  EXPECT_EQ(refused_lines(script, installed), (std::vector<int>{2, 3, 4, 5, 6, 7, 8, 9, 13}));
  std::vector<std::string> problems = refusals(script, installed);
  ASSERT_EQ(problems.size(), 9u);
  EXPECT_NE(problems[8].find("scratch copies"), std::string::npos) << problems[8];
  EXPECT_EQ(problems[0],
            "line 2: unlink would delete data/map.pak, which this release installs; players would "
            "fetch it again on every run");
  EXPECT_NE(problems[1].find("deletes every file there"), std::string::npos) << problems[1];
  EXPECT_EQ(problems[3], "line 5: unlink would delete talomar.exe, one of the client's own files");
}

TEST(publish_command_check, the_header_must_stand_alone_on_line_1) {
  const std::string wrong = "line 1: the first line must be \"Corvid Patch\"";
  EXPECT_EQ(refusals("Corvid Patch \nunlink,,a\n"), std::vector<std::string>{wrong});
  EXPECT_EQ(refusals(""), std::vector<std::string>{wrong});
  EXPECT_EQ(refusals("unlink,,a\n"), std::vector<std::string>{wrong});
  std::vector<std::string> marked = refusals(
      "\xEF\xBB\xBF"
      "Corvid Patch\nunlink,,a\n");
  ASSERT_EQ(marked.size(), 1u);
  EXPECT_NE(marked[0].find("byte order mark"), std::string::npos) << marked[0];
}

}  // namespace corvid
