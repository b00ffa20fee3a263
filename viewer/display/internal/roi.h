// The ROI as the display reads it.
#pragma once

#include "viewer/image_model.h"

namespace viewer::display {

// The item's ROI with its corners ordered and clamped into the image; empty
// when nothing of it lies on the image.
Rect normalisedRoi(const CImageItem& item);

}  // namespace viewer::display
