// Control ids of the viewer's dialogs; each is the control's objectName.
#pragma once

namespace viewer::app::ids {

inline constexpr int kOk = 1;
inline constexpr int kCancel = 2;

// Options (dialog 140)
inline constexpr int kShowDicom = 1001;
inline constexpr int kUseMih = 1002;
inline constexpr int kTypeDicom = 1003;
inline constexpr int kTypeTiff = 1004;
inline constexpr int kDetails = 1005;

// Set Working Directory (dialog 144)
inline constexpr int kStandardWorkDir = 1010;
inline constexpr int kWorkDirEdit = 1011;

// Raw File Parameters
inline constexpr int kRawFileName = 1020;
inline constexpr int kRawFileSize = 1021;
inline constexpr int kRawWidth = 1022;
inline constexpr int kRawHeight = 1023;
inline constexpr int kRawHeader = 1024;
inline constexpr int kRawDepth = 1025;
inline constexpr int kRawMacintosh = 1026;
inline constexpr int kRawWindows = 1027;
inline constexpr int kRawAdopt = 1028;
inline constexpr int kRawInfo1 = 1029;
inline constexpr int kRawInfo2 = 1030;
inline constexpr int kRawSwap = 1031;

// Settings of the JPEG Compression
inline constexpr int kJpegPreset = 1040;
inline constexpr int kJpegParameter = 1041;
inline constexpr int kJpegSlider = 1042;

// The open dialog's extra box
inline constexpr int kOpenSeries = 1050;

// Sorry, but... (dialog 141)
inline constexpr int kFailedText = 1060;
inline constexpr int kFailedList = 1061;

// Opening (dialog 175)
inline constexpr int kOpeningBar = 1070;
inline constexpr int kOpeningText = 1071;

// The save dialog's extra controls
inline constexpr int kSaveNewFolder = 1051;
inline constexpr int kNewFolderName = 1052;

// "Convert to 8-bit and save" and "Confirmation"
inline constexpr int kNoticeText = 1055;

// Main window
inline constexpr int kMdiArea = 1080;

}  // namespace viewer::app::ids
