#include "viewer/strings.h"

namespace viewer {

const char* viewerString(int id) {
  switch (id) {
    case 27: return "    /  /";
    case 28: return "%s/%s/%s";
    case 30: return "SOPInstanceUID";
    case 31: return "Study Date:";
    case 32: return "Study ID:";
    case 33: return "Study Description:";
    case 34: return "Component Name:";
    case 35: return "Component ID Number:";
    case 36: return "Component\n   Manufacturing Date:";
    case 37: return "Sex:";
    case 38: return "Study UID";
    case 39: return "Series UID";
    case 40: return "Instance UID";
    case 41: return "Failed to write the file(%s).";
    case 42: return "Failed to write.";
    case 150: return "Unknown reason";
    case 151: return "Larger than 12 bits";
    case 152: return "Out of Memory";
    case 153: return "Signed pixel data";
    case 154: return "Compressed Image data";
    case 155: return "File access failure";
    case 156: return "Not supported";
    case 157: return "Cancelled to read the file.";
    default: return nullptr;
  }
}

}  // namespace viewer
