#pragma once
// An HTTP server for tests, outside the test process: a Linux program of its own that
// listens on 127.0.0.1 on a free port, answers GET requests with bodies programmed per
// path, records every request, and can misbehave in the ways real servers do. Under
// qemu-user a 32-bit Wine process that holds a second thread faults sooner or later, so
// the server's threads live in a process of their own (README: "How the 32-bit build is
// tested"); this object programs it over a control connection and ends it.
//
//   test_http_server server;
//   server.serve("/cpatch.dat", "Corvid Patch\n...");
//   server.serve_fault("/big.bin", http_fault::reset_mid_body, body, 4000);
//   download from server.url("/cpatch.dat") or "http://" + server.location() + ...
//   server.requests()  // what the client sent
//
// Paths that were not programmed answer 404 with a short HTML page.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tests/support/emulation.h"

namespace corvid {

enum class http_fault {
  none,
  truncated_body,         // announces the whole body, sends `fault_at` bytes, then closes
  longer_than_announced,  // announces `fault_at` bytes, sends the whole body
  reset_mid_body,         // sends `fault_at` bytes, then resets the connection
  stalled_body,           // sends `fault_at` bytes, waits for release_stalled() or the
                          // stall limit, then sends the rest
  endless_body,           // no length, sends the body over and over until the client
                          // goes away or the endless limit is reached
};

struct http_request_record {
  std::string method;
  std::string target;                                        // as on the request line: "/path" when not sent to a proxy
  std::vector<std::pair<std::string, std::string>> headers;  // in the order sent

  // The value of the first header with this name (without case); empty when absent.
  std::string header(std::string_view name) const;
  bool has_header(std::string_view name) const;
};

class test_http_server {
 public:
  // Starts the server process; throws when it does not report for duty.
  test_http_server();
  ~test_http_server();
  test_http_server(const test_http_server&) = delete;
  test_http_server& operator=(const test_http_server&) = delete;

  std::uint16_t port() const { return port_; }
  // "127.0.0.1:port": a server location as the program uses them (no scheme).
  std::string location() const;
  // "http://127.0.0.1:port" + path
  std::string url(std::string_view path) const;

  void serve(std::string path, std::string body, int status = 200,
             std::string content_type = "application/octet-stream");
  void serve_fault(std::string path, http_fault fault, std::string body, std::size_t fault_at = 0);
  // Every file below `folder` at `prefix` + "/" + its relative path with "/" between
  // the parts, for example a published tree under "/mirror1". Read once, now.
  void serve_tree(const std::string& prefix, const std::filesystem::path& folder);
  // A 404 with an HTML page as its body.
  void serve_not_found_page(std::string path);
  // Bodies framed as other servers send them: in chunks of `chunk_size` bytes with
  // "Transfer-Encoding: chunked"; as HTTP/1.0 with no length, ended by closing the
  // connection; or behind a 302 to `target` on this server.
  void serve_chunked(std::string path, std::string body, std::size_t chunk_size = 1000);
  void serve_until_close(std::string path, std::string body);
  void serve_redirect(std::string path, std::string target);

  std::vector<http_request_record> requests() const;
  std::size_t request_count() const;

  // Lets every stalled body go on.
  void release_stalled();

  // Once the answer to `path` has been sent, every request is met by a closed
  // connection, as when the server's machine goes away; come_back() ends that.
  void go_away_after(std::string path);
  void come_back();

  // A setting of the server process: assigning it reaches the server at once.
  template <typename T>
  class setting {
   public:
    setting(test_http_server* owner, T value) : owner_(owner), value_(value) {}
    setting(const setting&) = delete;
    setting& operator=(T value) {
      value_ = value;
      owner_->send_settings();
      return *this;
    }
    operator T() const { return value_; }

   private:
    test_http_server* owner_;
    T value_;
  };

  // How long a stalled body waits at most, and how many bytes an endless body sends at
  // most, so that a test that forgets them still ends.
  setting<std::chrono::milliseconds> stall_limit{this, std::chrono::milliseconds(10000)};
  // Every answer says "Connection: close" and the connection is closed after it, so the
  // client never keeps a connection for later. WinINet starts a thread to close idle
  // kept-alive connections, so this is the default under emulation.
  setting<bool> one_request_per_connection{this, under_emulation};
  setting<std::uint64_t> endless_limit{this, 1024ull * 1024 * 1024};

  // A loopback port on which nothing listens: connections to it are refused.
  static std::uint16_t closed_port();

 private:
  void send_settings();
  // Sends one frame and waits for its reply's payload; throws when the server is gone.
  std::string call(const std::string& frame) const;

  std::uintptr_t control_ = ~std::uintptr_t{0};  // no socket yet
  std::uint16_t port_ = 0;
  // The records fetched so far: the server only ever adds to its list.
  mutable std::vector<http_request_record> requests_;
};

}  // namespace corvid
