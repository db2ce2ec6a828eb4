#include "publish/http_client.h"

#include <curl/curl.h>

#include <cstdio>

#include "core/product.h"

namespace corvid::publish {

namespace {
struct transfer {
  const http_client::body_sink* sink = nullptr;
  bool stopped = false;
};

extern "C" std::size_t take_body(char* bytes, std::size_t size, std::size_t count, void* context) {
  transfer& into = *static_cast<transfer*>(context);
  std::size_t total = size * count;
  if (into.sink && !(*into.sink)(bytes, total)) {
    into.stopped = true;
    return 0;
  }
  return total;
}

CURL* handle(void* curl) { return static_cast<CURL*>(curl); }
}  // namespace

http_client::http_client() {
  static const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  curl_ = ready ? curl_easy_init() : nullptr;
  if (!curl_) return;
  CURL* curl = handle(curl_);
  curl_easy_setopt(curl, CURLOPT_USERAGENT, user_agent);
  // No proxy, whatever the environment says: the client goes direct.
  curl_easy_setopt(curl, CURLOPT_PROXY, "");
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http");
  // The client's library follows redirections by itself.
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 15L);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, 30L);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, take_body);
}

http_client::~http_client() {
  if (curl_) curl_easy_cleanup(handle(curl_));
}

bool http_client::perform(const std::string& url, bool body_wanted, const body_sink* sink, http_response& response) {
  response = http_response();
  if (!curl_) {
    response.error = "libcurl cannot start";
    return false;
  }
  CURL* curl = handle(curl_);
  transfer into{sink};
  char reason[CURL_ERROR_SIZE] = {};
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_NOBODY, body_wanted ? 0L : 1L);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &into);
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, reason);
  CURLcode result = curl_easy_perform(curl);
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, nullptr);
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &response.status);
  curl_off_t length = -1;
  if (curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) == CURLE_OK)
    response.announced_length = length;
  if (result == CURLE_OK || (result == CURLE_WRITE_ERROR && into.stopped)) return true;
  response.error = reason[0] ? reason : curl_easy_strerror(result);
  return false;
}

bool http_client::get(const std::string& url, const body_sink& sink, http_response& response) {
  return perform(url, true, &sink, response);
}

bool http_client::get_text(const std::string& url, std::string& body, std::size_t limit, http_response& response) {
  body.clear();
  bool too_long = false;
  body_sink sink = [&](const char* bytes, std::size_t count) {
    too_long = body.size() + count > limit;
    if (!too_long) body.append(bytes, count);
    return !too_long;
  };
  if (!perform(url, true, &sink, response)) return false;
  if (too_long) {
    response.error = "the answer is longer than " + std::to_string(limit) + " bytes";
    return false;
  }
  return true;
}

bool http_client::head(const std::string& url, http_response& response) {
  return perform(url, false, nullptr, response);
}

std::string download_url(std::string_view location, std::string_view name) {
  std::string url = "http://";
  url += location;
  url += '/';
  for (char c : name) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u <= 0x20 || u >= 0x7F) {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", static_cast<unsigned>(u));
      url += escaped;
    } else {
      url += c;
    }
  }
  return url;
}

}  // namespace corvid::publish
