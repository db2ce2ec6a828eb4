#pragma once
// What the test HTTP server's two halves say to each other: the Windows test program
// holds a control connection to the server process (tests/support/http_server_main.cpp)
// and programs it through frames of a length and a payload. The server process ends when
// that connection closes, so that it never outlives the test that started it.
//
// The halves are built by different compilers (mingw for the test, the host's for the
// server), so numbers travel as fixed little-endian fields and texts with their length.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tests/support/http_server.h"

namespace corvid::http_control {

// Each command is answered by one frame, empty unless said otherwise.
enum class command : std::uint8_t {
  serve = 1,  // a count, then that many answers, each with its path
  settings,   // one_request_per_connection, the stall limit in ms, the endless limit
  requests,   // an index; answered by a count and the records from that index on
  release_stalled,
  go_away_after,  // a path
  come_back,
  quit,  // answered, then the process ends
};

enum class framing : std::uint8_t { length, chunked, until_close };

struct answer {
  std::string path;
  int status = 200;
  std::string content_type = "application/octet-stream";
  std::string body;
  http_fault fault = http_fault::none;
  std::uint64_t fault_at = 0;
  framing frame = framing::length;
  std::uint64_t chunk_size = 0;
  std::string location;  // sent as "Location" when not empty
};

struct settings {
  bool one_request_per_connection = false;
  std::uint64_t stall_limit_ms = 10000;
  std::uint64_t endless_limit = 0;
};

// A frame's payload, as it is built.
class writer {
 public:
  explicit writer(command kind) { bytes_.push_back(static_cast<char>(kind)); }
  writer() = default;

  writer& number(std::uint64_t value) {
    for (int shift = 0; shift < 64; shift += 8) bytes_.push_back(static_cast<char>((value >> shift) & 0xFF));
    return *this;
  }
  writer& text(std::string_view value) {
    number(value.size());
    bytes_.append(value);
    return *this;
  }
  // The frame as it goes on the wire: four bytes of length, then the payload.
  std::string frame() const {
    std::string framed;
    for (int shift = 0; shift < 32; shift += 8) framed.push_back(static_cast<char>((bytes_.size() >> shift) & 0xFF));
    return framed + bytes_;
  }

 private:
  std::string bytes_;
};

// A received payload, read field by field; a field that runs past the end reads as
// empty and marks the whole payload bad.
class reader {
 public:
  explicit reader(std::string_view payload) : rest_(payload) {}

  std::uint64_t number() {
    if (rest_.size() < 8) {
      fail();
      return 0;
    }
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(rest_[static_cast<std::size_t>(i)]);
    rest_.remove_prefix(8);
    return value;
  }
  std::string text() {
    std::uint64_t size = number();
    if (size > rest_.size()) {
      fail();
      return {};
    }
    std::string value(rest_.substr(0, static_cast<std::size_t>(size)));
    rest_.remove_prefix(static_cast<std::size_t>(size));
    return value;
  }
  command kind() {
    if (rest_.empty()) {
      fail();
      return {};
    }
    auto value = static_cast<command>(rest_.front());
    rest_.remove_prefix(1);
    return value;
  }
  bool good() const { return good_; }

 private:
  void fail() {
    good_ = false;
    rest_ = {};
  }
  std::string_view rest_;
  bool good_ = true;
};

// The body of a 404, for paths that were not programmed and for serve_not_found_page.
inline std::string not_found_page() {
  return "<html><head><title>404 Not Found</title></head>\r\n"
         "<body><h1>Not Found</h1><p>The requested URL was not found on this server.</p></body></html>\r\n";
}

// The length that the first four bytes of a frame announce.
inline std::uint32_t frame_length(const unsigned char (&head)[4]) {
  return static_cast<std::uint32_t>(head[0]) | static_cast<std::uint32_t>(head[1]) << 8 |
         static_cast<std::uint32_t>(head[2]) << 16 | static_cast<std::uint32_t>(head[3]) << 24;
}

// Programmed answers travel in batches, so that a whole published tree is one frame.
inline void put(writer& out, const answer& programmed) {
  out.text(programmed.path)
      .number(static_cast<std::uint64_t>(programmed.status))
      .text(programmed.content_type)
      .text(programmed.body)
      .number(static_cast<std::uint64_t>(programmed.fault))
      .number(programmed.fault_at)
      .number(static_cast<std::uint64_t>(programmed.frame))
      .number(programmed.chunk_size)
      .text(programmed.location);
}

inline answer get_answer(reader& in) {
  answer programmed;
  programmed.path = in.text();
  programmed.status = static_cast<int>(in.number());
  programmed.content_type = in.text();
  programmed.body = in.text();
  programmed.fault = static_cast<http_fault>(in.number());
  programmed.fault_at = in.number();
  programmed.frame = static_cast<framing>(in.number());
  programmed.chunk_size = in.number();
  programmed.location = in.text();
  return programmed;
}

inline void put(writer& out, const http_request_record& record) {
  out.text(record.method).text(record.target).number(record.headers.size());
  for (const auto& [name, value] : record.headers) out.text(name).text(value);
}

inline http_request_record get_record(reader& in) {
  http_request_record record;
  record.method = in.text();
  record.target = in.text();
  for (std::uint64_t count = in.number(); count > 0 && in.good(); --count) {
    std::string name = in.text();
    record.headers.emplace_back(std::move(name), in.text());
  }
  return record;
}

}  // namespace corvid::http_control
