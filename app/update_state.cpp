#include "app/update_state.h"

update_state state;

void reset_update_state() {
  state = update_state();
}
