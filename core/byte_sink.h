#pragma once
// Where bytes go as they come, in order: a body as it arrives, a stream as it inflates.
// Whoever feeds a sink says what happens once it refuses.

#include <cstddef>

namespace corvid {

class byte_sink {
 public:
  // False when the bytes could not be taken.
  virtual bool take(const unsigned char* bytes, std::size_t length) = 0;

 protected:
  ~byte_sink() = default;
};

}  // namespace corvid
