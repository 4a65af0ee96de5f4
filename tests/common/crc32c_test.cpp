#include "common/crc32c.h"

#include <gtest/gtest.h>

#include <QRandomGenerator>

#include <cstring>
#include <vector>

namespace vqs {
namespace {

TEST(Crc32c, KnownValuesInPiecesAndByTableAlike) {
    // The check values of CRC-32C (RFC 3720, B.4).
    const char digits[] = "123456789";
    EXPECT_EQ(crc32c(0, digits, 9), 0xE3069283u);
    std::vector<unsigned char> zeros(32, 0), ones(32, 0xff);
    EXPECT_EQ(crc32c(0, zeros.data(), zeros.size()), 0x8A9136AAu);
    EXPECT_EQ(crc32c(0, ones.data(), ones.size()), 0x62A8AB43u);

    // Any cut into pieces, at any alignment, gives the checksum of the whole, both ways.
    std::vector<char> bytes(1000);
    QRandomGenerator random(7);
    for (char& b : bytes) b = static_cast<char>(random.bounded(256));
    const std::uint32_t whole = crc32c(0, bytes.data(), bytes.size());
    EXPECT_EQ(crc32cByTable(0, bytes.data(), bytes.size()), whole);
    for (size_t cut : {size_t{0}, size_t{1}, size_t{7}, size_t{8}, size_t{13}, size_t{999}}) {
        EXPECT_EQ(crc32c(crc32c(0, bytes.data(), cut), bytes.data() + cut, bytes.size() - cut),
                  whole);
        EXPECT_EQ(crc32cByTable(crc32cByTable(0, bytes.data(), cut), bytes.data() + cut,
                                bytes.size() - cut),
                  whole);
    }
}

}  // namespace
}  // namespace vqs
