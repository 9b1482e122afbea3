#include "package/volume_set.h"

#include <algorithm>

namespace package {

std::array<std::uint8_t, 8> SetMark(const std::uint8_t* identity, int number) {
  std::array<std::uint8_t, 8> mark{};
  std::copy_n(identity, kSetIdentityBytes, mark.begin());
  mark[6] = static_cast<std::uint8_t>(number);
  mark[7] = static_cast<std::uint8_t>(number >> 8);
  return mark;
}

const char* ForeignVolumeReason(const Trailer& first, const Trailer& volume, bool read,
                                int number) {
  // A file cut short or replaced has other bytes where its trailer is looked
  // for; skipping it would join the next file's blocks to this set.
  if (!read || !volume.HasMagic()) return "no package trailer (cut short or replaced)";
  const std::uint8_t* id = first.reserved20.data();
  // Without an identity (a builder before it) nothing proves where a volume
  // comes from.
  if (std::all_of(id, id + kSetIdentityBytes, [](std::uint8_t b) { return b == 0; }) ||
      volume.version != first.version || volume.filesCount != first.filesCount ||
      !std::equal(id, id + kSetIdentityBytes, volume.reserved20.data()))
    return "a volume of another package";
  if (volume.reserved20 != SetMark(id, number)) return "a volume out of order";
  return nullptr;
}

} // namespace package
