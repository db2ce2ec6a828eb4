// The test HTTP server's own process, a Linux program: the Windows test starts it
// through Wine and programs it over a control connection (tests/support/http_control.h).
//   corvid-test-http-server CONTROL_PORT
// It connects to 127.0.0.1:CONTROL_PORT, reports the port it serves HTTP on, answers
// the test's commands, and ends as soon as that connection closes: so it ends with the
// test program however that ends.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/http_control.h"

namespace corvid {

namespace {

using namespace http_control;

constexpr std::size_t longest_request_head = 64 * 1024;

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

bool send_all(int socket, std::string_view data) {
  while (!data.empty()) {
    ssize_t sent = ::send(socket, data.data(), data.size(), MSG_NOSIGNAL);
    if (sent <= 0) return false;
    data.remove_prefix(static_cast<std::size_t>(sent));
  }
  return true;
}

bool receive_exactly(int socket, char* into, std::size_t size) {
  while (size > 0) {
    ssize_t got = ::recv(socket, into, size, 0);
    if (got <= 0) return false;
    into += got;
    size -= static_cast<std::size_t>(got);
  }
  return true;
}

struct connection {
  explicit connection(int s) : socket(s) {}
  int socket;
  bool reset = false;   // closing it resets it instead of ending it in order
  std::string pending;  // received bytes not yet taken as a request

  void close() {
    if (reset) {
      // A reset drops what is unsent and tells the client at once, as a crashed peer does.
      linger abort_now{1, 0};
      setsockopt(socket, SOL_SOCKET, SO_LINGER, &abort_now, sizeof abort_now);
    } else {
      shutdown(socket, SHUT_WR);
    }
    ::close(socket);
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
      ssize_t got = ::recv(socket, buffer, sizeof buffer, 0);
      if (got <= 0) return false;
      pending.append(buffer, static_cast<std::size_t>(got));
    }
  }
};

http_request_record parsed(const std::string& head) {
  http_request_record request;
  std::size_t line_end = head.find("\r\n");
  std::string_view request_line = std::string_view(head).substr(0, line_end);
  std::size_t first_space = request_line.find(' ');
  if (first_space == std::string_view::npos) return request;
  std::size_t second_space = request_line.find(' ', first_space + 1);
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
  return request;
}

class server {
 public:
  void program(answer programmed) {
    std::lock_guard lock(mutex_);
    std::string path = programmed.path;
    answers_[path] = std::move(programmed);
  }

  void configure(const settings& chosen) {
    std::lock_guard lock(mutex_);
    settings_ = chosen;
  }

  std::vector<http_request_record> requests_from(std::size_t first) {
    std::lock_guard lock(mutex_);
    if (first >= requests_.size()) return {};
    return {requests_.begin() + static_cast<std::ptrdiff_t>(first), requests_.end()};
  }

  void release_stalled() {
    {
      std::lock_guard lock(mutex_);
      stall_released_ = true;
    }
    released_.notify_all();
  }

  void go_away_after(std::string path) {
    std::lock_guard lock(mutex_);
    gone_after_ = std::move(path);
  }

  void come_back() {
    std::lock_guard lock(mutex_);
    gone_after_.clear();
    gone_ = false;
  }

  void accept_loop(int listener) {
    for (;;) {
      int accepted = ::accept(listener, nullptr, nullptr);
      if (accepted < 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));  // out of descriptors, say: not a busy loop
        continue;
      }
      // Each connection on a thread of its own, which the process's end takes with it.
      std::thread([this, accepted] { serve_connection(connection(accepted)); }).detach();
    }
  }

 private:
  void serve_connection(connection client) {
    std::string head;
    while (client.receive_head(head)) {
      http_request_record request = parsed(head);
      if (request.method.empty()) break;
      bool gone = false;
      bool one_request = false;
      {
        std::lock_guard lock(mutex_);
        requests_.push_back(request);
        gone = gone_;
        one_request = settings_.one_request_per_connection;
      }
      if (gone || !answer_to(client, request, one_request)) break;
      {
        std::lock_guard lock(mutex_);
        if (!gone_after_.empty() && request.target == gone_after_) {
          gone_ = true;
          break;
        }
      }
      if (one_request) break;
    }
    client.close();
  }

  void wait_for_release() {
    std::unique_lock lock(mutex_);
    released_.wait_for(lock, std::chrono::milliseconds(settings_.stall_limit_ms), [this] { return stall_released_; });
  }

  // False when the connection cannot carry another request.
  bool answer_to(connection& client, const http_request_record& request, bool one_request) {
    answer programmed;
    std::uint64_t endless_limit = 0;
    {
      std::lock_guard lock(mutex_);
      auto found = answers_.find(unescaped(request.target));
      if (found != answers_.end()) {
        programmed = found->second;
      } else {
        programmed.status = 404;
        programmed.content_type = "text/html";
        programmed.body = not_found_page();
      }
      endless_limit = settings_.endless_limit;
    }
    if (programmed.frame != framing::length || !programmed.location.empty()) {
      return request.method != "HEAD" && answer_framed(client, programmed, one_request);
    }
    const std::string& body = programmed.body;
    std::size_t part = static_cast<std::size_t>(std::min<std::uint64_t>(programmed.fault_at, body.size()));
    std::size_t announced = programmed.fault == http_fault::longer_than_announced ? part : body.size();

    char head[512];
    if (programmed.fault == http_fault::endless_body) {
      std::snprintf(head, sizeof head, "HTTP/1.1 %d %s\r\nContent-Type: %s\r\nConnection: close\r\n\r\n",
                    programmed.status, reason_of(programmed.status), programmed.content_type.c_str());
    } else {
      std::snprintf(head, sizeof head, "HTTP/1.1 %d %s\r\nContent-Type: %s\r\n%sContent-Length: %zu\r\n\r\n",
                    programmed.status, reason_of(programmed.status), programmed.content_type.c_str(),
                    one_request ? "Connection: close\r\n" : "", announced);
    }
    if (!send_all(client.socket, head)) return false;
    if (request.method == "HEAD") return true;

    std::string_view before_fault = std::string_view(body).substr(0, part);
    switch (programmed.fault) {
      case http_fault::none: return send_all(client.socket, body);
      case http_fault::truncated_body: send_all(client.socket, before_fault); return false;
      case http_fault::longer_than_announced:
        send_all(client.socket, body);
        return false;  // the rest of the stream is garbage to the client now
      case http_fault::reset_mid_body:
        send_all(client.socket, before_fault);
        // Give the part time to arrive, so that the client reads it before the reset.
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        client.reset = true;
        return false;
      case http_fault::stalled_body:
        if (!send_all(client.socket, before_fault)) return false;
        wait_for_release();
        return send_all(client.socket, std::string_view(body).substr(part));
      case http_fault::endless_body: {
        std::string piece = body.empty() ? std::string(1024, 'x') : body;
        while (piece.size() < 64 * 1024) piece += piece;
        for (std::uint64_t sent = 0; sent < endless_limit; sent += piece.size()) {
          if (!send_all(client.socket, piece)) break;
        }
        return false;
      }
    }
    return false;
  }

  bool answer_framed(connection& client, const answer& programmed, bool one_request) {
    const std::string& body = programmed.body;
    std::string head = std::string(programmed.frame == framing::until_close ? "HTTP/1.0 " : "HTTP/1.1 ") +
                       std::to_string(programmed.status) + " " + reason_of(programmed.status) +
                       "\r\nContent-Type: " + programmed.content_type + "\r\n";
    if (!programmed.location.empty()) head += "Location: " + programmed.location + "\r\n";
    if (one_request) head += "Connection: close\r\n";
    switch (programmed.frame) {
      case framing::length:
        head += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
        return send_all(client.socket, head) && send_all(client.socket, body);
      case framing::chunked: {
        head += "Transfer-Encoding: chunked\r\n\r\n";
        if (!send_all(client.socket, head)) return false;
        std::size_t chunk_size = static_cast<std::size_t>(std::max<std::uint64_t>(programmed.chunk_size, 1));
        for (std::size_t at = 0; at < body.size(); at += chunk_size) {
          std::string_view piece = std::string_view(body).substr(at, chunk_size);
          char size_line[32];
          std::snprintf(size_line, sizeof size_line, "%zx\r\n", piece.size());
          if (!send_all(client.socket, size_line) || !send_all(client.socket, piece) ||
              !send_all(client.socket, "\r\n")) {
            return false;
          }
        }
        return send_all(client.socket, "0\r\n\r\n");
      }
      case framing::until_close:
        head += "\r\n";
        send_all(client.socket, head);
        send_all(client.socket, body);
        return false;  // the close is the body's end
    }
    return false;
  }

  std::mutex mutex_;
  std::condition_variable released_;
  settings settings_;
  bool stall_released_ = false;
  std::string gone_after_;
  bool gone_ = false;
  std::map<std::string, answer> answers_;
  std::vector<http_request_record> requests_;
};

// The reply's payload to one command; false for a command it cannot read.
bool obey(server& served, command kind, reader& in, writer& reply) {
  switch (kind) {
    case command::serve:
      for (std::uint64_t count = in.number(); count > 0 && in.good(); --count) served.program(get_answer(in));
      return in.good();
    case command::settings: {
      settings chosen;
      chosen.one_request_per_connection = in.number() != 0;
      chosen.stall_limit_ms = in.number();
      chosen.endless_limit = in.number();
      served.configure(chosen);
      return in.good();
    }
    case command::requests: {
      std::vector<http_request_record> records = served.requests_from(static_cast<std::size_t>(in.number()));
      reply.number(records.size());
      for (const http_request_record& record : records) put(reply, record);
      return in.good();
    }
    case command::release_stalled: served.release_stalled(); return true;
    case command::go_away_after: served.go_away_after(in.text()); return in.good();
    case command::come_back: served.come_back(); return true;
    case command::quit: return true;
  }
  return false;
}

// Descriptors the process was started with, other than its standard ones: the Wine
// process that started it may hand over its own, and a pipe held here would keep
// whoever reads it waiting for this process.
void close_inherited_descriptors() {
  if (close_range(3, ~0u, 0) == 0) return;
  long most = sysconf(_SC_OPEN_MAX);
  for (int descriptor = 3; descriptor < (most > 0 ? most : 1024); ++descriptor) close(descriptor);
}

int loopback_socket(std::uint16_t port, bool listening) {
  int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  auto* named = reinterpret_cast<sockaddr*>(&address);
  bool ready = listening ? ::bind(s, named, sizeof address) == 0 && ::listen(s, SOMAXCONN) == 0
                         : ::connect(s, named, sizeof address) == 0;
  if (s < 0 || !ready) {
    std::perror(listening ? "corvid-test-http-server: listen" : "corvid-test-http-server: connect");
    std::exit(2);
  }
  return s;
}

std::uint16_t port_of(int s) {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
  return ntohs(address.sin_port);
}

}  // namespace

}  // namespace corvid

int main(int argc, char** argv) {
  using namespace corvid;
  using namespace corvid::http_control;
  if (argc != 2) {
    std::fprintf(stderr, "usage: corvid-test-http-server CONTROL_PORT\n");
    return 2;
  }
  close_inherited_descriptors();
  int listener = loopback_socket(0, true);
  int control = loopback_socket(static_cast<std::uint16_t>(std::atoi(argv[1])), false);
  if (!send_all(control, writer().number(port_of(listener)).frame())) return 2;

  server served;
  std::thread([&] { served.accept_loop(listener); }).detach();
  for (;;) {
    unsigned char head[4];
    if (!receive_exactly(control, reinterpret_cast<char*>(head), sizeof head)) break;
    std::string payload(frame_length(head), '\0');
    if (!receive_exactly(control, payload.data(), payload.size())) break;
    reader in(payload);
    writer reply;
    command kind = in.kind();
    if (!obey(served, kind, in, reply)) {
      std::fprintf(stderr, "corvid-test-http-server: a command it cannot read\n");
      break;
    }
    if (!send_all(control, reply.frame()) || kind == command::quit) break;
  }
  // Every connection, stalled or endless, ends with the process.
  std::_Exit(0);
}
