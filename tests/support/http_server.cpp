#include "tests/support/http_server.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <limits>
#include <sstream>
#include <stdexcept>

#include "tests/support/http_control.h"

namespace corvid {

namespace {

using namespace http_control;

// Starting the process takes one Wine process start, slow under qemu-user; a command
// takes a round trip on loopback. Both are bounded, so that a server that died cannot
// hang a test.
constexpr long start_limit_seconds = 60;
constexpr DWORD reply_limit_ms = 60000;

bool same_without_case(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

SOCKET as_socket(std::uintptr_t s) { return static_cast<SOCKET>(s); }

[[noreturn]] void fail(const std::string& what) {
  throw std::runtime_error("test HTTP server: " + what + " (WSA error " + std::to_string(WSAGetLastError()) + ")");
}

// A loopback socket bound to a free port, and that port.
SOCKET bound_loopback_socket(std::uint16_t& port) {
  SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
  int length = sizeof address;
  getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
  port = ntohs(address.sin_port);
  return s;
}

bool send_all(SOCKET s, std::string_view data) {
  while (!data.empty()) {
    int chunk = static_cast<int>(std::min<std::size_t>(data.size(), 1024 * 1024));
    int sent = ::send(s, data.data(), chunk, 0);
    if (sent <= 0) return false;
    data.remove_prefix(static_cast<std::size_t>(sent));
  }
  return true;
}

bool receive_exactly(SOCKET s, char* into, std::size_t size) {
  while (size > 0) {
    int got = ::recv(s, into, static_cast<int>(std::min<std::size_t>(size, 1024 * 1024)), 0);
    if (got <= 0) return false;
    into += got;
    size -= static_cast<std::size_t>(got);
  }
  return true;
}

bool receive_frame(SOCKET s, std::string& payload) {
  unsigned char head[4];
  if (!receive_exactly(s, reinterpret_cast<char*>(head), sizeof head)) return false;
  payload.assign(frame_length(head), '\0');
  return receive_exactly(s, payload.data(), payload.size());
}

// Starts the server process, which connects back to a port that only this process
// listens on, for as long as the start may take; that connection is the control one.
SOCKET start_server_process() {
  std::uint16_t control_port = 0;
  SOCKET listener = bound_loopback_socket(control_port);
  if (listener == INVALID_SOCKET || ::listen(listener, 1) != 0) fail("no control port");
  // Wine runs a Linux program as it is, and gives no handle to it: the control
  // connection closing is what ends it.
  std::string command_line = "\"" CORVID_TEST_HTTP_SERVER "\" " + std::to_string(control_port);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  if (!CreateProcessA(nullptr, command_line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started)) {
    closesocket(listener);
    throw std::runtime_error("test HTTP server: cannot start " CORVID_TEST_HTTP_SERVER " (error " +
                             std::to_string(GetLastError()) + ")");
  }
  if (started.hThread != nullptr) CloseHandle(started.hThread);
  if (started.hProcess != nullptr) CloseHandle(started.hProcess);
  fd_set waiting;
  FD_ZERO(&waiting);
  FD_SET(listener, &waiting);
  timeval limit{start_limit_seconds, 0};
  SOCKET control = INVALID_SOCKET;
  if (::select(0, &waiting, nullptr, nullptr, &limit) == 1) control = ::accept(listener, nullptr, nullptr);
  closesocket(listener);
  if (control == INVALID_SOCKET) fail("the server process did not report");
  // Neither a program that a test starts nor a death test's child may keep it open.
  SetHandleInformation(reinterpret_cast<HANDLE>(control), HANDLE_FLAG_INHERIT, 0);
  setsockopt(control, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&reply_limit_ms), sizeof reply_limit_ms);
  return control;
}

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

test_http_server::test_http_server() {
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
  SOCKET control = start_server_process();
  control_ = static_cast<std::uintptr_t>(control);
  std::string hello;
  if (!receive_frame(control, hello)) fail("the server process did not say its port");
  reader in(hello);
  port_ = static_cast<std::uint16_t>(in.number());
  send_settings();
}

test_http_server::~test_http_server() {
  SOCKET control = as_socket(control_);
  // The reply comes before the process ends; its end closes every connection it held.
  std::string rest;
  if (send_all(control, writer(command::quit).frame()) && receive_frame(control, rest)) {
    char byte;
    ::recv(control, &byte, 1, 0);
  }
  closesocket(control);
  WSACleanup();
}

std::string test_http_server::call(const std::string& frame) const {
  if (frame.size() - 4 > std::numeric_limits<std::uint32_t>::max()) fail("a command too long for one frame");
  std::string reply;
  if (!send_all(as_socket(control_), frame) || !receive_frame(as_socket(control_), reply)) {
    fail("the server process went away");
  }
  return reply;
}

void test_http_server::send_settings() {
  if (as_socket(control_) == INVALID_SOCKET) return;  // sent once the server is there
  call(writer(command::settings)
           .number(one_request_per_connection ? 1 : 0)
           .number(static_cast<std::uint64_t>(static_cast<std::chrono::milliseconds>(stall_limit).count()))
           .number(endless_limit)
           .frame());
}

std::string test_http_server::location() const { return "127.0.0.1:" + std::to_string(port_); }

std::string test_http_server::url(std::string_view path) const { return "http://" + location() + std::string(path); }

namespace {

answer answer_for(std::string path, std::string body) {
  answer programmed;
  programmed.path = std::move(path);
  programmed.body = std::move(body);
  return programmed;
}

std::string serve_frame(const std::vector<answer>& answers) {
  writer out(command::serve);
  out.number(answers.size());
  for (const answer& programmed : answers) put(out, programmed);
  return out.frame();
}

}  // namespace

void test_http_server::serve(std::string path, std::string body, int status, std::string content_type) {
  answer programmed = answer_for(std::move(path), std::move(body));
  programmed.status = status;
  programmed.content_type = std::move(content_type);
  call(serve_frame({programmed}));
}

void test_http_server::serve_fault(std::string path, http_fault fault, std::string body, std::size_t fault_at) {
  answer programmed = answer_for(std::move(path), std::move(body));
  programmed.fault = fault;
  programmed.fault_at = fault_at;
  call(serve_frame({programmed}));
}

void test_http_server::serve_tree(const std::string& prefix, const std::filesystem::path& folder) {
  std::vector<answer> answers;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    answers.push_back(
        answer_for(prefix + "/" + std::filesystem::relative(entry.path(), folder).generic_string(), bytes.str()));
  }
  call(serve_frame(answers));
}

void test_http_server::serve_not_found_page(std::string path) {
  serve(std::move(path), not_found_page(), 404, "text/html");
}

void test_http_server::serve_chunked(std::string path, std::string body, std::size_t chunk_size) {
  answer programmed = answer_for(std::move(path), std::move(body));
  programmed.frame = framing::chunked;
  programmed.chunk_size = std::max<std::size_t>(chunk_size, 1);
  call(serve_frame({programmed}));
}

void test_http_server::serve_until_close(std::string path, std::string body) {
  answer programmed = answer_for(std::move(path), std::move(body));
  programmed.frame = framing::until_close;
  call(serve_frame({programmed}));
}

void test_http_server::serve_redirect(std::string path, std::string target) {
  answer programmed = answer_for(std::move(path), "<html><body>Moved</body></html>\r\n");
  programmed.status = 302;
  programmed.content_type = "text/html";
  programmed.location = url(target);
  call(serve_frame({programmed}));
}

std::vector<http_request_record> test_http_server::requests() const {
  std::string reply = call(writer(command::requests).number(requests_.size()).frame());
  reader in(reply);
  for (std::uint64_t count = in.number(); count > 0 && in.good(); --count) requests_.push_back(get_record(in));
  if (!in.good()) fail("a list of requests it cannot read");
  return requests_;
}

std::size_t test_http_server::request_count() const { return requests().size(); }

void test_http_server::release_stalled() { call(writer(command::release_stalled).frame()); }

void test_http_server::go_away_after(std::string path) { call(writer(command::go_away_after).text(path).frame()); }

void test_http_server::come_back() { call(writer(command::come_back).frame()); }

std::uint16_t test_http_server::closed_port() {
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
  std::uint16_t port = 0;
  // Bound but never listening, then given back: nothing answers on it.
  closesocket(bound_loopback_socket(port));
  WSACleanup();
  return port;
}

}  // namespace corvid
