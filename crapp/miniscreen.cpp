#include "crapp/miniscreen.h"

#include <QImage>
#include <QPainter>

#include <new>

#include "crapp/internal/applog.h"

namespace crapp {

ToneParameters ToneParameters::forDepth(int depth) {
  ToneParameters t;
  // Depths come from the engine; anything outside 1..30 keeps the defaults
  // rather than shifting past the integer's width.
  if (depth < 1 || depth > 30) return t;
  t.base = 1 << depth;
  t.para1 = static_cast<int>(static_cast<long long>(t.base) * 3000 / 4096);
  t.para2 = static_cast<int>(static_cast<long long>(t.base) * 1024 / 4096);
  return t;
}

int GetLutForToneAdjust(const void* pixels, int width, int height, int n, std::uint16_t* table,
                        const ToneParameters& tone) {
  if (pixels == nullptr || table == nullptr || width <= 0 || height <= 0 || n < 1 || n > 16 || tone.base <= 0)
    return 0;
  const long long levels = 1LL << n;
  const long long max = levels - 1;
  std::unique_ptr<std::uint32_t[]> histogram(new (std::nothrow) std::uint32_t[levels]());
  if (!histogram) {
    appLog(1, "---CHalcyoneDlg::GetLutForToneAdjust: histgram buffer memory allocation error.");
    return 0;
  }
  const long long count = static_cast<long long>(width) * height;
  // The first two rows are left out of the count.
  for (long long i = 2LL * width; i < count; ++i) {
    const unsigned v = n <= 8 ? static_cast<const std::uint8_t*>(pixels)[i]
                              : static_cast<const std::uint16_t*>(pixels)[i];
    if (v <= max) ++histogram[v];
  }

  const long long onePercent = count / 100;
  long long low = max;
  long long sum = 0;
  for (long long v = 1; v <= max; ++v) {
    sum += histogram[v];
    if (sum > onePercent) {
      low = v;
      break;
    }
  }
  long long high = 0;
  for (long long v = max; v >= 1; --v) {
    if (histogram[v] != 0) {
      high = v;
      break;
    }
  }
  const auto limit1 = static_cast<long long>(static_cast<double>(tone.para1) * levels / tone.base);
  const auto limit2 = static_cast<long long>(static_cast<double>(tone.para2) * levels / tone.base);
  if (low > limit1 || high - low < limit2) {
    low = 0;
    high = levels;
  }
  const long long span = high - low;
  if (span < 1) return 0;
  for (long long v = 0; v <= max; ++v) {
    long long entry;
    if (v < low)
      entry = 0;
    else if (v < high)
      entry = (v - low) * max / span;
    else
      entry = max;
    table[v] = static_cast<std::uint16_t>(entry);
  }
  return 1;
}

void AdjustContrastBright(int width, int height, int n, void* pixels, const ToneParameters& tone) {
  if (n < 1 || n > 16 || width <= 0 || height <= 0 || pixels == nullptr) return;
  const std::size_t levels = std::size_t{1} << n;
  std::unique_ptr<std::uint16_t[]> table(new (std::nothrow) std::uint16_t[levels]);
  if (!table) {
    appLog(1, "---CHalcyoneDlg::AdjustContrastBright: LUT buffer memory allocation error.");
    return;
  }
  if (!GetLutForToneAdjust(pixels, width, height, n, table.get(), tone)) return;
  const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  if (n <= 8) {
    auto* p = static_cast<std::uint8_t*>(pixels);
    for (std::size_t i = 0; i < count; ++i) p[i] = static_cast<std::uint8_t>(table[p[i]] & 0xFF);
  } else {
    auto* p = static_cast<std::uint16_t*>(pixels);
    const std::size_t max = levels - 1;
    for (std::size_t i = 0; i < count; ++i) p[i] = table[p[i] <= max ? p[i] : max];
  }
}

PaneGeometry fitToPane(int imageWidth, int imageHeight, int paneWidth, int paneHeight) {
  PaneGeometry g;
  if (imageWidth <= 0 || imageHeight <= 0 || paneWidth <= 0 || paneHeight <= 0) return g;
  const double aspectImage = static_cast<double>(imageHeight) / imageWidth;
  const double aspectScreen = static_cast<double>(paneHeight) / paneWidth;
  double scale;
  if (aspectScreen <= aspectImage) {
    scale = static_cast<double>(paneHeight) / imageHeight;
  } else {
    scale = static_cast<double>(paneWidth) / imageWidth;
  }
  g.width = static_cast<int>(imageWidth * scale);
  g.height = static_cast<int>(imageHeight * scale);
  if (aspectScreen <= aspectImage)
    g.x = (paneWidth - g.width) / 2;
  else
    g.y = (paneHeight - g.height) / 2;
  return g;
}

bool PreviewDib::Create(int width, int height) {
  Delete();
  if (width <= 0 || height <= 0) return false;
  const std::size_t size = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  bits_.reset(new (std::nothrow) std::uint8_t[size]());
  if (!bits_) return false;
  width_ = width;
  height_ = height;
  return true;
}

void PreviewDib::Delete() {
  bits_.reset();
  width_ = 0;
  height_ = 0;
}

CMiniscreen::CMiniscreen(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_OpaquePaintEvent); }

void CMiniscreen::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::black);
  if (!m_DIB.exists()) return;
  int w = imageWidth > 0 ? imageWidth : m_DIB.width();
  int h = imageHeight > 0 ? imageHeight : m_DIB.height();
  if (rotation % 2 != 0) std::swap(w, h);
  appLog(9, "---$$CMiniscreen$$: nOrgImageW,H(%d, %d)  m_DIB.W,H(%d, %d)  miniscreenW,H(%d, %d)", w, h,
         m_DIB.width(), m_DIB.height(), paneWidth, paneHeight);
  appLog(9, "---$$CMiniscreen$$: dAspectScreen=%f  dAspectImage=%f",
         paneWidth > 0 ? static_cast<double>(paneHeight) / paneWidth : 0.0,
         w > 0 ? static_cast<double>(h) / w : 0.0);
  const PaneGeometry g = fitToPane(w, h, paneWidth, paneHeight);
  appLog(9, "---$$CMiniscreen$$: StretchBlt(%d, %d, %d, %d, pSrcDC, %d, %d, %d, %d, SRCCOPY)", g.x, g.y, g.width,
         g.height, 0, 0, m_DIB.width(), m_DIB.height());
  if (g.width <= 0 || g.height <= 0) return;
  // The bitmap's rows are its width in bytes (500, a multiple of 4).
  const QImage image(m_DIB.bits(), m_DIB.width(), m_DIB.height(), m_DIB.width(), QImage::Format_Grayscale8);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawImage(QRect(g.x, g.y, g.width, g.height), image);
}

}  // namespace crapp
