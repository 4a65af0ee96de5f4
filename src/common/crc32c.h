#pragma once

#include <cstddef>
#include <cstdint>

namespace vqs {

// CRC-32C (Castagnoli), as iSCSI and ext4 use it: recognises a torn or altered journal. Feed
// pieces in order, starting with 0: crc32c(crc32c(0, a), b) is the checksum of a followed by b.
// The processor's crc32 instruction where it has one, a table elsewhere.
std::uint32_t crc32c(std::uint32_t crc, const void* data, std::size_t length);
// The same by table alone, on any processor.
std::uint32_t crc32cByTable(std::uint32_t crc, const void* data, std::size_t length);

}  // namespace vqs
