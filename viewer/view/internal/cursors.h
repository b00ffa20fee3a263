// The panes' cursors: the tools' own glyphs, drawn by us, and the ROI-edit
// cursors by zone.
#pragma once

#include <QCursor>

namespace viewer::view::internal {

// Resources 135 (Hand), 137 (Tone Curve), 138 (Zoom) and their dragging
// forms 141, 140, 139; 142 the Rectangle tool while dragging.
QCursor toolCursor(int resource);
// The Rectangle tool's cursor over a ROI zone (-1 outside).
QCursor zoneCursor(int zone);

}  // namespace viewer::view::internal
