#include "net/transfer.h"

namespace corvid {

internet_handle open_request(const char* url, DWORD_PTR context) {
  constexpr DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_KEEP_CONNECTION;
  return internet_handle(InternetOpenUrlA(state.internet_session.get(), url, nullptr, 0, flags, context));
}

}  // namespace corvid
