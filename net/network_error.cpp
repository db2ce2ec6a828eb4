#include "net/network_error.h"

#include "core/update_state.h"
#include "text/fixed_text.h"

namespace corvid {

namespace {

fixed_text<256> caption_with(std::int64_t number) {
  const char* title = text_of(message::error_caption);
  fixed_text<256> caption;
  if (number == 0) {
    caption.assign(title);
  } else {
    caption.format("%s (%lld)", title, static_cast<long long>(number));
  }
  return caption;
}

}  // namespace

void report_network_error(const char* message_text) {
  fixed_text<1024> response;
  DWORD response_error = 0;
  DWORD length = response.buffer_size();
  if (InternetGetLastResponseInfoA(&response_error, response.buffer(), &length)) {
    response.buffer()[length < response.buffer_size() ? length : response.buffer_size() - 1] = '\0';
  } else {
    response.clear();
  }
  show_network_error(message_text, response.c_str(), response_error, state.last_error_code);
}

void show_network_error(const char* message_text, const char* response_text, std::uint32_t response_error,
                        std::int32_t error_code) {
  if (response_text[0] != '\0') {
    MessageBoxA(nullptr, response_text, caption_with(response_error).c_str(), MB_ICONWARNING);
  }
  const char* advice = template_of(message::network_advice);
  fixed_text<1024> message;
  message.format(advice, message_text);
  MessageBoxA(nullptr, message.c_str(), caption_with(error_code).c_str(), MB_ICONWARNING);
}

}  // namespace corvid
