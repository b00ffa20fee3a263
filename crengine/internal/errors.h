// The engine's error table: each code with the text of its string id.
#pragma once

#include <cstdint>

namespace crengine {

struct ErrorEntry {
  std::uint32_t code;
  int stringId;
  const char* text;
};

// Null for a code not in the table.
const ErrorEntry* findError(std::uint32_t code);

}  // namespace crengine
