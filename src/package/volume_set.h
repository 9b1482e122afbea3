// Whether a volume file belongs to the spanned set begun by volume 1, and
// whether the set read was whole. The stub's unpacker and vpack's reader
// both decide by these, so vpack verify refuses what the stub refuses.
#pragma once

#include <cstdint>

#include "package/format.h"

namespace package {

// Why `volume` (its trailer read whole or not: `read`) cannot be volume
// `number` (2 or more) of the set whose first volume's trailer is `first`;
// nullptr when it belongs: its magic, version and FilesCount are the
// first's, and it carries the first's identity and its own number.
const char* ForeignVolumeReason(const Trailer& first, const Trailer& volume, bool read, int number);

// The mark of volume `number` of the set with identity `identity`, as it
// stands in Reserved20.
std::array<std::uint8_t, 8> SetMark(const std::uint8_t* identity, int number);

} // namespace package
