#include "net/internet_session.h"

#include "core/product.h"
#include "core/update_state.h"

namespace corvid {

bool open_internet_session() {
  state.internet_session.reset(InternetOpenA(user_agent, INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
  return state.internet_session.valid();
}

void close_internet_session() { state.internet_session.reset(); }

}  // namespace corvid
