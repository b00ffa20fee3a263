#include "devapi/cr/internal/correction_image.h"

#include <limits>

namespace zentrac {

bool CorrectionImage::valid() const {
  if (!blocks || blockCount == 0 || linesPerBlock == 0 || width == 0 || width > kMaxColumns) return false;
  if (linesPerBlock > std::numeric_limits<std::size_t>::max() / blockCount) return false;
  if (lines() > std::numeric_limits<std::size_t>::max() / width) return false;
  for (std::size_t b = 0; b < blockCount; ++b)
    if (!blocks[b]) return false;
  return true;
}

}  // namespace zentrac
