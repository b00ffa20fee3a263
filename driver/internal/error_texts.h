// The English texts of the result codes.
#pragma once

#include <cstdint>

namespace pravik {

struct ErrorText {
  std::uint32_t code;
  const char* text;
};

// "Unknown error code" for a code without a text.
const char* errorText(std::uint32_t code);

}  // namespace pravik
