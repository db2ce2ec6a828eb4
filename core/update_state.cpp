#include "core/update_state.h"

namespace corvid {

update_state state;

void reset_update_state() { state = update_state(); }

namespace {

class no_progress_view final : public progress_view {
 public:
  void status_line_1(const char*) override {}
  void status_line_2(const char*) override {}
  void file_bar(int) override {}
  void overall_bar(int) override {}
  void title(const char*) override {}
};

}  // namespace

progress_view& shown_progress() {
  static no_progress_view nothing;
  return state.view != nullptr ? *state.view : nothing;
}

}  // namespace corvid
