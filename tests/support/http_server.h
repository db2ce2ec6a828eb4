#pragma once
// An HTTP server for tests, inside the test process: it listens on 127.0.0.1 on a free
// port, answers GET requests from a thread of its own with bodies programmed per path,
// records every request, and can misbehave in the ways real servers do.
//
//   test_http_server server;
//   server.serve("/cpatch.dat", "Corvid Patch\n...");
//   server.serve_fault("/big.bin", http_fault::reset_mid_body, body, 4000);
//   download from server.url("/cpatch.dat") or "http://" + server.location() + ...
//   server.requests()  // what the client sent
//
// Paths that were not programmed answer 404 with a short HTML page.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

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

  // How long a stalled body waits at most, and how many bytes an endless body sends at
  // most, so that a test that forgets them still ends.
  std::chrono::milliseconds stall_limit{10000};
  // Every answer says "Connection: close" and the connection is closed after it, so the
  // client never keeps a connection for later.
  bool one_request_per_connection = false;
  std::uint64_t endless_limit = 1024ull * 1024 * 1024;

  // A loopback port on which nothing listens: connections to it are refused.
  static std::uint16_t closed_port();

 private:
  enum class framing { length, chunked, until_close };
  struct response {
    int status = 200;
    std::string content_type;
    std::string body;
    http_fault fault = http_fault::none;
    std::size_t fault_at = 0;
    framing frame = framing::length;
    std::size_t chunk_size = 0;
    std::string location{};  // sent as "Location" when not empty
  };
  struct connection;
  bool answer_framed(connection& client, const response& programmed);

  void accept_loop();
  void serve_connection(std::shared_ptr<connection> client);
  bool answer(connection& client, const http_request_record& request);
  bool wait_for_release();

  std::uintptr_t listener_;
  std::uint16_t port_ = 0;
  std::thread acceptor_;

  mutable std::mutex mutex_;
  std::condition_variable released_;
  bool stopping_ = false;
  bool stall_released_ = false;
  std::string gone_after_;
  bool gone_ = false;
  std::map<std::string, response> responses_;
  std::vector<http_request_record> requests_;
  std::vector<std::shared_ptr<connection>> connections_;
  std::vector<std::thread> workers_;
};

}  // namespace corvid
