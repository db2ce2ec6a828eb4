#include "net/internet_session.h"

#include "core/update_state.h"

bool open_internet_session() {
  state.internet_session = InternetOpenA(user_agent, INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  return state.internet_session != nullptr;
}

void close_internet_session() {
  if (state.internet_session != nullptr) InternetCloseHandle(state.internet_session);
  state.internet_session = nullptr;
}
