#include "tests/support/http_server.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace corvid {

namespace {

constexpr std::size_t longest_request_head = 64 * 1024;

bool same_without_case(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

const char* reason_of(int status) {
  switch (status) {
    case 200: return "OK";
    case 302: return "Found";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    default: return "Status";
  }
}

// The path a target names, with its %XX escapes undone, as web servers look files up.
std::string unescaped(std::string_view target) {
  std::string path;
  for (std::size_t i = 0; i < target.size(); ++i) {
    if (target[i] == '%' && i + 2 < target.size() && std::isxdigit(static_cast<unsigned char>(target[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(target[i + 2]))) {
      path += static_cast<char>(std::stoi(std::string(target.substr(i + 1, 2)), nullptr, 16));
      i += 2;
    } else {
      path += target[i];
    }
  }
  return path;
}

std::string not_found_page() {
  return "<html><head><title>404 Not Found</title></head>\r\n"
         "<body><h1>Not Found</h1><p>The requested URL was not found on this server.</p></body></html>\r\n";
}

SOCKET as_socket(std::uintptr_t s) { return static_cast<SOCKET>(s); }

}  // namespace

std::string http_request_record::header(std::string_view name) const {
  for (const auto& [key, value] : headers) {
    if (same_without_case(key, name)) return value;
  }
  return {};
}

bool http_request_record::has_header(std::string_view name) const {
  return std::any_of(headers.begin(), headers.end(),
                     [&](const auto& entry) { return same_without_case(entry.first, name); });
}

struct test_http_server::connection {
  explicit connection(SOCKET s) : socket(s) {}
  SOCKET socket;
  std::atomic<bool> closed{false};
  std::string pending;  // received bytes not yet taken as a request

  void close(bool reset = false) {
    if (closed.exchange(true)) return;
    if (reset) {
      linger abort_now{1, 0};
      setsockopt(socket, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort_now), sizeof abort_now);
    } else {
      shutdown(socket, SD_SEND);
    }
    closesocket(socket);
  }

  bool send_all(std::string_view data) {
    while (!data.empty()) {
      int chunk = static_cast<int>(std::min<std::size_t>(data.size(), 64 * 1024));
      int sent = ::send(socket, data.data(), chunk, 0);
      if (sent <= 0) return false;
      data.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
  }

  // The head of the next request, without its blank line; false when the client went.
  bool receive_head(std::string& head) {
    for (;;) {
      std::size_t end = pending.find("\r\n\r\n");
      if (end != std::string::npos) {
        head = pending.substr(0, end);
        pending.erase(0, end + 4);
        return true;
      }
      if (pending.size() > longest_request_head) return false;
      char buffer[4096];
      int got = ::recv(socket, buffer, sizeof buffer, 0);
      if (got <= 0) return false;
      pending.append(buffer, static_cast<std::size_t>(got));
    }
  }
};

test_http_server::test_http_server() {
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
  SOCKET listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::listen(listener, SOMAXCONN);
  int length = sizeof address;
  getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
  port_ = ntohs(address.sin_port);
  listener_ = static_cast<std::uintptr_t>(listener);
  acceptor_ = std::thread([this] { accept_loop(); });
}

test_http_server::~test_http_server() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    stall_released_ = true;
  }
  released_.notify_all();
  closesocket(as_socket(listener_));
  acceptor_.join();
  std::vector<std::shared_ptr<connection>> open;
  {
    std::lock_guard lock(mutex_);
    open = connections_;
  }
  for (auto& client : open) client->close();
  for (auto& worker : workers_) worker.join();
  WSACleanup();
}

std::string test_http_server::location() const { return "127.0.0.1:" + std::to_string(port_); }

std::string test_http_server::url(std::string_view path) const { return "http://" + location() + std::string(path); }

void test_http_server::serve(std::string path, std::string body, int status, std::string content_type) {
  std::lock_guard lock(mutex_);
  responses_[std::move(path)] = response{status, std::move(content_type), std::move(body)};
}

void test_http_server::serve_fault(std::string path, http_fault fault, std::string body, std::size_t fault_at) {
  std::lock_guard lock(mutex_);
  response& programmed = responses_[std::move(path)];
  programmed = response{200, "application/octet-stream", std::move(body)};
  programmed.fault = fault;
  programmed.fault_at = fault_at;
}

void test_http_server::serve_tree(const std::string& prefix, const std::filesystem::path& folder) {
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    serve(prefix + "/" + std::filesystem::relative(entry.path(), folder).generic_string(), bytes.str());
  }
}

void test_http_server::serve_not_found_page(std::string path) {
  serve(std::move(path), not_found_page(), 404, "text/html");
}

void test_http_server::serve_chunked(std::string path, std::string body, std::size_t chunk_size) {
  std::lock_guard lock(mutex_);
  response& programmed = responses_[std::move(path)];
  programmed = response{200, "application/octet-stream", std::move(body)};
  programmed.frame = framing::chunked;
  programmed.chunk_size = std::max<std::size_t>(chunk_size, 1);
}

void test_http_server::serve_until_close(std::string path, std::string body) {
  std::lock_guard lock(mutex_);
  response& programmed = responses_[std::move(path)];
  programmed = response{200, "application/octet-stream", std::move(body)};
  programmed.frame = framing::until_close;
}

void test_http_server::serve_redirect(std::string path, std::string target) {
  std::lock_guard lock(mutex_);
  response& programmed = responses_[std::move(path)];
  programmed = response{302, "text/html", "<html><body>Moved</body></html>\r\n"};
  programmed.location = url(target);
}

std::vector<http_request_record> test_http_server::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

std::size_t test_http_server::request_count() const {
  std::lock_guard lock(mutex_);
  return requests_.size();
}

void test_http_server::release_stalled() {
  {
    std::lock_guard lock(mutex_);
    stall_released_ = true;
  }
  released_.notify_all();
}

std::uint16_t test_http_server::closed_port() {
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
  SOCKET probe = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address);
  int length = sizeof address;
  getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
  // Bound but never listening, then given back: nothing answers on it.
  closesocket(probe);
  WSACleanup();
  return ntohs(address.sin_port);
}

void test_http_server::accept_loop() {
  for (;;) {
    SOCKET accepted = ::accept(as_socket(listener_), nullptr, nullptr);
    std::lock_guard lock(mutex_);
    if (accepted == INVALID_SOCKET || stopping_) {
      if (accepted != INVALID_SOCKET) closesocket(accepted);
      return;
    }
    auto client = std::make_shared<connection>(accepted);
    connections_.push_back(client);
    workers_.emplace_back([this, client] { serve_connection(client); });
  }
}

void test_http_server::serve_connection(std::shared_ptr<connection> client) {
  std::string head;
  while (client->receive_head(head)) {
    http_request_record request;
    std::size_t line_end = head.find("\r\n");
    std::string_view request_line = std::string_view(head).substr(0, line_end);
    std::size_t first_space = request_line.find(' ');
    std::size_t second_space = request_line.find(' ', first_space + 1);
    if (first_space == std::string_view::npos) break;
    request.method = std::string(request_line.substr(0, first_space));
    request.target = std::string(request_line.substr(first_space + 1, second_space - first_space - 1));
    std::size_t at = line_end;
    while (at != std::string::npos && at < head.size()) {
      std::size_t start = at + 2;
      std::size_t end = head.find("\r\n", start);
      std::string_view line =
          std::string_view(head).substr(start, end == std::string::npos ? std::string::npos : end - start);
      std::size_t colon = line.find(':');
      if (colon != std::string_view::npos) {
        request.headers.emplace_back(std::string(trimmed(line.substr(0, colon))),
                                     std::string(trimmed(line.substr(colon + 1))));
      }
      at = end;
    }
    bool gone = false;
    {
      std::lock_guard lock(mutex_);
      requests_.push_back(request);
      gone = gone_;
    }
    if (gone || !answer(*client, request)) break;
    {
      std::lock_guard lock(mutex_);
      if (!gone_after_.empty() && request.target == gone_after_) {
        gone_ = true;
        break;
      }
    }
    if (one_request_per_connection) break;
  }
  client->close();
}

void test_http_server::go_away_after(std::string path) {
  std::lock_guard lock(mutex_);
  gone_after_ = std::move(path);
}

void test_http_server::come_back() {
  std::lock_guard lock(mutex_);
  gone_after_.clear();
  gone_ = false;
}

bool test_http_server::wait_for_release() {
  std::unique_lock lock(mutex_);
  released_.wait_for(lock, stall_limit, [this] { return stall_released_; });
  return !stopping_;
}

bool test_http_server::answer(connection& client, const http_request_record& request) {
  response programmed;
  {
    std::lock_guard lock(mutex_);
    auto found = responses_.find(unescaped(request.target));
    if (found != responses_.end()) {
      programmed = found->second;
    } else {
      programmed = response{404, "text/html", not_found_page()};
    }
  }
  if (programmed.frame != framing::length || !programmed.location.empty()) {
    return request.method != "HEAD" && answer_framed(client, programmed);
  }
  const std::string& body = programmed.body;
  std::size_t part = std::min(programmed.fault_at, body.size());
  std::size_t announced = programmed.fault == http_fault::longer_than_announced ? part : body.size();

  char head[512];
  if (programmed.fault == http_fault::endless_body) {
    std::snprintf(head, sizeof head, "HTTP/1.1 %d %s\r\nContent-Type: %s\r\nConnection: close\r\n\r\n",
                  programmed.status, reason_of(programmed.status), programmed.content_type.c_str());
  } else {
    std::snprintf(head, sizeof head, "HTTP/1.1 %d %s\r\nContent-Type: %s\r\n%sContent-Length: %zu\r\n\r\n",
                  programmed.status, reason_of(programmed.status), programmed.content_type.c_str(),
                  one_request_per_connection ? "Connection: close\r\n" : "", announced);
  }
  if (!client.send_all(head)) return false;
  if (request.method == "HEAD") return true;

  switch (programmed.fault) {
    case http_fault::none: return client.send_all(body);
    case http_fault::truncated_body: client.send_all(std::string_view(body).substr(0, part)); return false;
    case http_fault::longer_than_announced:
      client.send_all(body);
      return false;  // the rest of the stream is garbage to the client now
    case http_fault::reset_mid_body:
      client.send_all(std::string_view(body).substr(0, part));
      // Give the part time to arrive, so that the client reads it before the reset.
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      client.close(true);
      return false;
    case http_fault::stalled_body:
      if (!client.send_all(std::string_view(body).substr(0, part))) return false;
      if (!wait_for_release()) return false;
      return client.send_all(std::string_view(body).substr(part));
    case http_fault::endless_body: {
      std::string piece = body.empty() ? std::string(1024, 'x') : body;
      while (piece.size() < 64 * 1024) piece += piece;
      for (std::uint64_t sent = 0; sent < endless_limit; sent += piece.size()) {
        {
          std::lock_guard lock(mutex_);
          if (stopping_) break;
        }
        if (!client.send_all(piece)) break;
      }
      return false;
    }
  }
  return false;
}

bool test_http_server::answer_framed(connection& client, const response& programmed) {
  const std::string& body = programmed.body;
  std::string head = std::string(programmed.frame == framing::until_close ? "HTTP/1.0 " : "HTTP/1.1 ") +
                     std::to_string(programmed.status) + " " + reason_of(programmed.status) +
                     "\r\nContent-Type: " + programmed.content_type + "\r\n";
  if (!programmed.location.empty()) head += "Location: " + programmed.location + "\r\n";
  if (one_request_per_connection) head += "Connection: close\r\n";
  switch (programmed.frame) {
    case framing::length:
      head += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
      return client.send_all(head) && client.send_all(body);
    case framing::chunked: {
      head += "Transfer-Encoding: chunked\r\n\r\n";
      if (!client.send_all(head)) return false;
      for (std::size_t at = 0; at < body.size(); at += programmed.chunk_size) {
        std::string_view piece = std::string_view(body).substr(at, programmed.chunk_size);
        char size_line[32];
        std::snprintf(size_line, sizeof size_line, "%zx\r\n", piece.size());
        if (!client.send_all(size_line) || !client.send_all(piece) || !client.send_all("\r\n")) return false;
      }
      return client.send_all("0\r\n\r\n");
    }
    case framing::until_close:
      head += "\r\n";
      client.send_all(head);
      client.send_all(body);
      return false;  // the close is the body's end
  }
  return false;
}

}  // namespace corvid
