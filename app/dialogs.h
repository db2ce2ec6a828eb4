#pragma once
// The two modal dialogs of a run: the start-up prompt (OK 1, Cancel 2) and the update
// notes (Play 1, Cancel 2).

#include <windows.h>

namespace corvid {

INT_PTR CALLBACK prompt_procedure(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
INT_PTR CALLBACK notes_procedure(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

inline constexpr const char* notes_file = "readme.txt";
inline constexpr int most_notes_lines = 10000;

}  // namespace corvid
