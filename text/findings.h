#pragma once
// What a reader met besides what it read: where (the line) and why input was refused,
// skipped, or read otherwise than it is written. The client reads on past whatever it
// can and keeps no findings; corvid-publish shows them to the operator. Each reader names
// its reasons in an enum of its own.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace corvid {

template <typename Why>
struct finding {
  std::size_t line = 0;  // from 1, as the reader counts its lines
  Why why{};
  std::string text;  // what the reason names, where it names something
};

template <typename Why>
using findings = std::vector<finding<Why>>;

// For readers: keeps a finding when the caller asked for them.
template <typename Why>
void note(findings<Why>* found, std::size_t line, Why why, std::string_view text = {}) {
  if (found != nullptr) found->push_back({line, why, std::string(text)});
}

}  // namespace corvid
