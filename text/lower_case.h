#pragma once

// ASCII capitals become small letters by adding 32; every other byte stays, so names
// in the system's code page are never altered beyond plain ASCII.
inline void lower_case_in_place(char* text) {
  for (; *text != '\0'; ++text) {
    if (*text >= 'A' && *text <= 'Z') *text = static_cast<char>(*text + 32);
  }
}
