#pragma once
// The standard warning for a failed network step: the server's own response text in a
// box of its own when there is one, then the caller's text with the advice to try
// again, captioned with the program's failure code.

#include <cstdint>

namespace corvid {

// `message_text` is already localized. Returns when the player has closed the boxes.
void report_network_error(const char* message_text);

// The same with the server response given rather than asked of WinINet.
void show_network_error(const char* message_text, const char* response_text, std::uint32_t response_error,
                        std::int32_t error_code);

}  // namespace corvid
