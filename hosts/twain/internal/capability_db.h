// The capability database: every DAT_CAPABILITY request is answered from an
// ini-style file, and MSG_SET and MSG_RESET write their changes back into it, so
// the values outlive one load of the source.
#pragma once

#include "hosts/twain/twain.h"
#include "hosts/twain/twain_memory.h"

#include <filesystem>
#include <optional>

namespace twain {

class CapabilityDatabase {
 public:
  explicit CapabilityDatabase(std::filesystem::path file) : file_(std::move(file)) {}

  // MSG_GET, MSG_GETCURRENT, MSG_GETDEFAULT, MSG_SET or MSG_RESET for cap.Cap.
  // Returns the condition code: TWCC_SUCCESS when answered. GET, GETCURRENT,
  // GETDEFAULT and RESET hand a new container to the caller in cap.hContainer;
  // SET reads the caller's container and refills it with the answer only when
  // the answer has the same container type and fits in it. Handles are made
  // and read by the rule of memory.
  TW_UINT16 answer(TW_UINT16 msg, TW_CAPABILITY& cap, const Memory& memory = Memory()) const;

  // Section "Setup Memory Transfer": Min, Max, Preferred (0 when absent).
  TW_SETUPMEMXFER setupMemXfer() const;

  // The current one value of a capability, read as its item type; nullopt when
  // the capability is unsupported or its current value is no single item.
  std::optional<TW_UINT32> currentValue(TW_UINT16 cap) const;

  const std::filesystem::path& file() const { return file_; }

 private:
  std::filesystem::path file_;
};

}  // namespace twain
