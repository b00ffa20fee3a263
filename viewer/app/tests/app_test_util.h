// Small image files for the viewer program's tests.
#pragma once
#include <filesystem>
#include <functional>

#include "viewer/app/application.h"
#include "viewer/formats/tiff.h"
#include "viewer/image_model.h"

namespace app_test {

// A TIFF of w x h samples given by value(x, y), written by the viewer's own writer.
inline void writeTiff(const std::filesystem::path& file, int w, int h, int bytes,
                      const std::function<int(int, int)>& value) {
  viewer::CImageItem item;
  item.allocate(bytes, w, h);
  item.bitsStored = bytes == 1 ? 8 : 12;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const std::size_t i = std::size_t(y) * std::size_t(w) + std::size_t(x);
      if (bytes == 1) item.data()[i] = std::uint8_t(value(x, y));
      else item.data16()[i] = std::uint16_t(value(x, y));
    }
  item.completeLoad();
  viewer::formats::WriteTiffFile(item, file.string());
}

inline void writeFlatTiff(const std::filesystem::path& file, int v = 100) {
  writeTiff(file, 8, 6, 1, [v](int, int) { return v; });
}

// A start of Tivola in `dir`: its ini file there, no environment, no splash.
inline viewer::app::StartEnvironment startIn(const std::filesystem::path& dir) {
  viewer::app::StartEnvironment e;
  e.iniPath = dir / "Tivola.INI";
  e.startDir = dir;
  e.getenv = [](const char*) -> const char* { return nullptr; };
  e.now = 1765400000;
  e.splash = false;
  return e;
}

}  // namespace app_test
