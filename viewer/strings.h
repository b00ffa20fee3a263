// The viewer's string table (English texts), by the ids the rest of the
// viewer refers to.
#pragma once

namespace viewer {

// Null for an id the table does not hold.
const char* viewerString(int id);

}  // namespace viewer
