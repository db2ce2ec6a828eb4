#include "app/driver.h"

#include <windows.h>

// The update run is joined here from the subsystems once they are all in place. Until
// then a step only waits for the next message, so the idle main loop does not spin.
void run_driver_step() {
  WaitMessage();
}
