#pragma once
// Names that Windows gives a meaning of its own, whatever folder they are in: a file
// listed or named by the server under one of them would never be the file it says.

#include <string_view>

namespace corvid {

// CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM1 to COM9 or LPT1 to LPT9 in any letter case,
// alone or before an extension (blanks before the extension too): Windows opens it as a
// device.
bool is_device_name(std::string_view component);

// True when any component of `path`, between "/" or "\" separators, is a device name.
bool names_a_device(std::string_view path);

}  // namespace corvid
