// Whole runs fed input written to do harm: lists whose names try to leave the install
// folder, and a translation full of over-long lines and stray conversions.

#include <gtest/gtest.h>

#include <windows.h>
#include <zlib.h>

#include <cstdint>
#include <cstring>

#include "tests/e2e/whole_run.h"
#include "tests/support/one_thread.h"

namespace corvid {

namespace fs = std::filesystem;

namespace {

// Names that would land outside the install folder if they were used as they stand,
// and (last) one that Windows opens as a device: writing it "succeeds" and stores nothing.
std::vector<std::string> refused_names(const std::string& device_name) {
  return {"../x", "c:/x", "/x", "a/../../x", "..\\x", "a\\..\\..\\x", device_name};
}

const std::string manifest_refused = "Cannot parse product update information.";
const std::string client_list_refused = "Cannot parse patch utility update information.";

std::string inflated(const std::string& stream, std::size_t size) {
  std::string text(size, '\0');
  uLongf length = static_cast<uLongf>(size);
  EXPECT_EQ(uncompress(reinterpret_cast<Bytef*>(text.data()), &length, reinterpret_cast<const Bytef*>(stream.data()),
                       static_cast<uLong>(stream.size())),
            Z_OK);
  text.resize(length);
  return text;
}

std::string deflated(const std::string& text) {
  std::string stream(compressBound(static_cast<uLong>(text.size())), '\0');
  uLongf length = static_cast<uLongf>(stream.size());
  EXPECT_EQ(compress2(reinterpret_cast<Bytef*>(stream.data()), &length, reinterpret_cast<const Bytef*>(text.data()),
                      static_cast<uLong>(text.size()), 9),
            Z_OK);
  stream.resize(length);
  return stream;
}

std::uint32_t word_at(const std::string& bytes, std::size_t at) {
  std::uint32_t word = 0;
  std::memcpy(&word, bytes.data() + at, 4);
  return word;
}

void put_word(std::string& bytes, std::size_t at, std::uint32_t word) { std::memcpy(bytes.data() + at, &word, 4); }

// The list text with one more entry line after its last one, and its count raised.
std::string with_entry_added(const std::string& list, const std::string& entry_line) {
  std::size_t first_end = list.find('\n');
  std::size_t count_end = list.find('\n', first_end + 1);
  int count = std::stoi(list.substr(first_end + 1, count_end - first_end - 1));
  std::string text = list.substr(0, first_end + 1) + std::to_string(count + 1) + "\n" + list.substr(count_end + 1);
  if (!text.empty() && text.back() != '\n') text += '\n';
  return text + entry_line + "\n";
}

class hostile_run : public whole_run {
 protected:
  void SetUp() override {
    add_release_file("a.dat", "first file", 1700000000);
    add_release_file("b.dat", "second file", 1700000100);
    add_release_file("login.dll", read_file(CORVID_FAKE_PROGRAM), 1700000200);
    publish();
    serve_published();
    point_update_location_at(server_.location() + "/info.txt");
  }

  // Serves the published manifest with `entry_line` added, under a patch header that
  // describes it, with a time of its own so that no stored copy counts as current.
  void serve_manifest_with(const std::string& entry_line, std::uint32_t time) {
    std::string header = read_file(out_ / "product/cpatch.dat");
    std::string text = inflated(read_file(out_ / "product/gfl.mft"), word_at(header, 3));
    std::string stream = deflated(with_entry_added(text, entry_line));
    put_word(header, 3, static_cast<std::uint32_t>(with_entry_added(text, entry_line).size()));
    put_word(header, 7, static_cast<std::uint32_t>(stream.size()));
    put_word(header, 15, time);
    server_.serve("/product/cpatch.dat", header);
    server_.serve("/product/gfl.mft", stream);
  }

  void expect_refused_with(const run_outcome& outcome, const std::string& message) {
    EXPECT_TRUE(outcome.ended);
    EXPECT_EQ(outcome.exit_code, 0u);
    EXPECT_EQ(outcome.boxes, std::vector<shown_box>{network_error_box(message, 0)});
    EXPECT_EQ(login_command_line(false), "");
  }

  // No file named x anywhere the escaping names point at.
  void expect_no_escaped_file() {
    for (const char* place : {"C:/x", "Z:/x", "C:/users/x"}) EXPECT_FALSE(fs::exists(place)) << place;
    EXPECT_FALSE(fs::exists(install_parent_.path() / "x"));
    EXPECT_FALSE(fs::exists(install_.path().root_path() / "x"));
    expect_nothing_written_outside();
  }
};

TEST_F(hostile_run, a_manifest_name_that_leaves_the_install_folder_or_is_a_device_refuses_the_whole_manifest) {
  std::uint32_t time = 1800000000;
  for (const std::string& name : refused_names("data/nul.dat")) {
    CORVID_TRACE(name);
    std::size_t before = server_.request_count();
    serve_manifest_with("5,d,0,6553f100," + name, ++time);
    expect_refused_with(run(), manifest_refused);
    EXPECT_EQ(last_requested(before), "/product/gfl.mft") << "not one file is asked for";
    EXPECT_FALSE(install_.exists("a.dat")) << "nothing in a refused list is installed";
    EXPECT_FALSE(install_.exists("gfl.mft")) << "the refused manifest is not kept";
    EXPECT_EQ(install_log(), "");
    expect_no_escaped_file();
  }
  expect_a_good_run_completes();
}

TEST_F(hostile_run, a_client_list_name_that_leaves_the_install_folder_or_is_a_device_refuses_the_list) {
  std::string list = read_file(out_ / "client/cpatch.dat");
  for (const std::string& name : refused_names("com1.txt")) {
    CORVID_TRACE(name);
    std::size_t before = server_.request_count();
    server_.serve("/client/cpatch.dat", with_entry_added(list, "5,d,0,6553f100," + name));
    expect_refused_with(run(), client_list_refused);
    EXPECT_EQ(last_requested(before), "/client/cpatch.dat") << "nothing after the list is asked for";
    expect_no_escaped_file();
  }
  expect_a_good_run_completes();
}

// Message n of the translation, with conversions that must never reach a formatter
// with numbers, or with fewer texts than they ask for.
std::string stray_translation(int n) { return "T" + std::to_string(n) + " %s %d %n %x %p %f %%"; }

TEST_F(hostile_run, a_translation_with_long_lines_and_stray_conversions_is_shown_safely) {
  // Line 13 (the checking status, "%d of %d") runs over two slots; the line of
  // message 44 (the advice, one "%s") over three.
  std::string lines;
  for (int n = 1; n <= 64; ++n) {
    if (n == 14 || n == 45 || n == 46) continue;  // filled by the lines before them
    if (n == 13) {
      lines += std::string(300, '%') + std::string(300, 'd') + "\n";
    } else if (n == 44) {
      std::string advice;
      while (advice.size() < 1400) advice += "%s";
      lines += advice + "\n";
    } else {
      lines += stray_translation(n) + "\n";
    }
  }
  install_.write("language/patch_strings.dat", lines);
  std::string stream = read_file(out_ / "product/b.dat");
  server_.serve("/product/b.dat", stream.substr(0, stream.size() - 1));

  run_outcome failed = run();
  EXPECT_TRUE(failed.ended);
  EXPECT_EQ(failed.exit_code, 0u);
  // The advice's translation asks for more texts than there are: the English advice
  // carries the translated message, which is shown as it stands.
  EXPECT_EQ(
      failed.boxes,
      (std::vector<shown_box>{{stray_translation(17) + " (304)",
                               stray_translation(37) +
                                   "\nWait a while and try connecting again.\nIf you still cannot connect, check your "
                                   "Internet settings."}}));
  EXPECT_TRUE(install_.exists("a.dat"));
  EXPECT_FALSE(install_.exists("b.dat"));

  expect_a_good_run_completes();
}

}  // namespace

}  // namespace corvid
