// An image in blocks of lines, as the CR reader delivers it, for the tests.
#pragma once

#include "devapi/cr/internal/corrections.h"

#include <cstdint>
#include <vector>

namespace zentrac::testing {

class BlockImage {
 public:
  BlockImage(std::size_t width, std::size_t lines, std::size_t linesPerBlock, std::uint16_t fill = 0)
      : width_(width), linesPerBlock_(linesPerBlock) {
    const std::size_t blocks = (lines + linesPerBlock - 1) / linesPerBlock;
    data_.assign(blocks, std::vector<std::uint16_t>(width * linesPerBlock, fill));
    for (auto& b : data_) pointers_.push_back(b.data());
  }
  BlockImage(const BlockImage& other) : width_(other.width_), linesPerBlock_(other.linesPerBlock_), data_(other.data_) {
    for (auto& b : data_) pointers_.push_back(b.data());
  }
  BlockImage& operator=(const BlockImage&) = delete;

  CorrectionImage view() const { return {pointers_.data(), pointers_.size(), linesPerBlock_, width_}; }
  std::size_t width() const { return width_; }
  std::size_t lines() const { return data_.size() * linesPerBlock_; }
  std::uint16_t& at(std::size_t y, std::size_t x) { return data_[y / linesPerBlock_][(y % linesPerBlock_) * width_ + x]; }
  std::uint16_t at(std::size_t y, std::size_t x) const {
    return data_[y / linesPerBlock_][(y % linesPerBlock_) * width_ + x];
  }
  bool operator==(const BlockImage& other) const { return width_ == other.width_ && samples() == other.samples(); }
  // All samples, line by line.
  std::vector<std::uint16_t> samples() const {
    std::vector<std::uint16_t> s;
    for (const auto& b : data_) s.insert(s.end(), b.begin(), b.end());
    return s;
  }

 private:
  std::size_t width_, linesPerBlock_;
  std::vector<std::vector<std::uint16_t>> data_;
  std::vector<std::uint16_t*> pointers_;
};

}  // namespace zentrac::testing
