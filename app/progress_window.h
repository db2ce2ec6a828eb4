#pragma once

#include <windows.h>

#include "core/progress_view.h"

namespace corvid {

// What workers show, on the controls of `state.progress_window`.
progress_view& progress_window_view();

// Makes the window the workers' view, and sets the window's first texts and the ranges of its two bars.
void init_progress_window();

INT_PTR CALLBACK progress_window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// Puts a text into one of the window's two status lines (1006 or 1007).
void set_status_line(int control_id, const char* text);

}  // namespace corvid
