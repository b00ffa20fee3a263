// The control ids of the scan dialog, also its widgets' object names.
#pragma once

namespace scanui::internal {

enum : int {
  kAutoScan = 1000,
  kRegionList = 1001,
  kFilms = 1002,
  kBits = 1003,
  kAdapter = 1004,
  kOd = 1005,
  kDeviceId = 1006,
  kPitch = 1007,
  kAdjustOd = 1008,
  kStudyGroup = 1009,
  kScout = 1010,
  kMode = 1012,
  kHeightSelector = 1013,
  kLeft = 1015,
  kStudyButton = 1016,
  kTop = 1017,
  kWidthMm = 1018,
  kHeightMm = 1019,
  kWidthPx = 1020,
  kHeightPx = 1021,
  kScan = 1022,
  kPlaceholder = 1023,
  kMaxOdValue = 1024,
  kVolume = 1025,
  kMaxData = 1026,
  kApplyChanges = 1031,
  kClear = 1036,
  kAutoSetup = 1037,
  kMaxOdLabel = 1038,
  kComponentName = 1040,
  kComponentId = 1041,
  kMfgYear = 1042,
  kMfgMonth = 1043,
  kMfgDay = 1044,
  kStudyYear = 1045,
  kStudyMonth = 1046,
  kStudyDay = 1047,
  kStudyId = 1048,
  kStudyDescription = 1049,
  kSetting = 1050,
  kMegabytes = 1053,
  kExit = 1054,
  kScansDelivered = 1056,
  kHeightLabel = 1057,
  kMale = 2005,  // to 2008: Female, Other, Blank
};

}  // namespace scanui::internal
