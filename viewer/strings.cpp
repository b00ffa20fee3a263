#include "viewer/strings.h"

// Marks the texts that the viewer shows translated, for lupdate; this library
// has no Qt of its own, so the mark is the plain text.
#ifndef QT_TRANSLATE_NOOP
#define QT_TRANSLATE_NOOP(context, text) text
#endif

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
    case 42: return QT_TRANSLATE_NOOP("Tivola", "Failed to write.");
    case 150: return QT_TRANSLATE_NOOP("Tivola", "Unknown reason");
    case 151: return QT_TRANSLATE_NOOP("Tivola", "Larger than 12 bits");
    case 152: return QT_TRANSLATE_NOOP("Tivola", "Out of Memory");
    case 153: return QT_TRANSLATE_NOOP("Tivola", "Signed pixel data");
    case 154: return QT_TRANSLATE_NOOP("Tivola", "Compressed Image data");
    case 155: return QT_TRANSLATE_NOOP("Tivola", "File access failure");
    case 156: return QT_TRANSLATE_NOOP("Tivola", "Not supported");
    case 157: return QT_TRANSLATE_NOOP("Tivola", "Cancelled to read the file.");
    default: return nullptr;
  }
}

}  // namespace viewer
