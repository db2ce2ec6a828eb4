#pragma once
// Plain HTTP GETs the way the update client makes them (no proxy, no cache, its user
// agent), over libcurl, for checking a live server.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace corvid::publish {

struct http_response {
  long status = 0;
  std::int64_t announced_length = -1;  // Content-Length, -1 when none was sent
  std::string error;                   // why no answer came
};

class http_client {
 public:
  http_client();
  ~http_client();
  http_client(const http_client&) = delete;
  http_client& operator=(const http_client&) = delete;

  // The body goes to `sink` piece by piece; a sink that returns false ends the
  // transfer early, which is no failure. False with `response.error` when no answer
  // came.
  using body_sink = std::function<bool(const char* bytes, std::size_t count)>;
  bool get(const std::string& url, const body_sink& sink, http_response& response);
  // The whole body, when it is at most `limit` bytes.
  bool get_text(const std::string& url, std::string& body, std::size_t limit, http_response& response);
  // Only the status and the announced length.
  bool head(const std::string& url, http_response& response);

 private:
  bool perform(const std::string& url, bool body_wanted, const body_sink* sink, http_response& response);
  void* curl_;
};

// "http://" + location + "/" + name, with what the client's library would escape
// escaped: a blank goes as %20.
std::string download_url(std::string_view location, std::string_view name);

}  // namespace corvid::publish
