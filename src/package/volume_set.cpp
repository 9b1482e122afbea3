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
  // Without a mark (a builder before it) nothing proves where a volume
  // comes from; a marked first volume has its number 1 there.
  if (first.reserved20 == Trailer{}.reserved20 || volume.version != first.version ||
      volume.filesCount != first.filesCount ||
      !std::equal(first.reserved20.begin(), first.reserved20.begin() + kSetIdentityBytes,
                  volume.reserved20.begin()))
    return "a volume of another package";
  if (ReadLe16(volume.reserved20.data() + kSetIdentityBytes) != number)
    return "a volume out of order";
  return nullptr;
}

} // namespace package
