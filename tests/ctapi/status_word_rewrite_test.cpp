#include "status_word_rewrite.h"

#include <gtest/gtest.h>
#include <vector>

namespace brantel {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes rewritten(const Bytes& command, Bytes response) {
    rewrite_read_binary_status(command, response);
    return response;
}

TEST(StatusWordRewrite, ReadBinaryForAllDataEndsInEndOfFile) {
    const Bytes data_ok = {0x01, 0x02, 0x90, 0x00};
    const Bytes end_of_file = {0x01, 0x02, 0x62, 0x82};
    EXPECT_EQ(rewritten({0x00, 0xB0, 0x00, 0x00, 0x00}, data_ok), end_of_file);
    EXPECT_EQ(rewritten({0x00, 0xB0, 0x83, 0x00, 0x00}, data_ok), end_of_file);
    EXPECT_EQ(rewritten({0x00, 0xB0, 0x00, 0x00, 0x00, 0x00, 0x00}, data_ok), end_of_file);
    EXPECT_EQ(rewritten({0x00, 0xB0, 0x00, 0x00, 0x00}, {0x90, 0x00}), (Bytes{0x62, 0x82}));
}

TEST(StatusWordRewrite, EverythingElseStaysAsItIs) {
    const Bytes data_ok = {0x01, 0x90, 0x00};
    for (const Bytes& command :
         std::vector<Bytes>{{0x00, 0xB0, 0x81, 0x00, 0x00},             // P1 0x81
                            {0x00, 0xB0, 0x82, 0x00, 0x00},             // P1 0x82
                            {0x00, 0xB0, 0x8C, 0x00, 0x00},             // P1 0x8C
                            {0x00, 0xB0, 0x00, 0x00, 0x10},             // a given length
                            {0x00, 0xB0, 0x00, 0x00, 0x00, 0x00},       // six bytes
                            {0x00, 0xB0, 0x00, 0x00, 0x00, 0x01, 0x00}, // extended length not zero
                            {0x00, 0xB0, 0x00, 0x00},                   // four bytes
                            {0x80, 0xB0, 0x00, 0x00, 0x00},             // another class
                            {0x00, 0xB2, 0x00, 0x00, 0x00}}) {          // READ RECORD
        EXPECT_EQ(rewritten(command, data_ok), data_ok);
    }
    const Bytes read_all = {0x00, 0xB0, 0x00, 0x00, 0x00};
    EXPECT_EQ(rewritten(read_all, {0x62, 0x82}), (Bytes{0x62, 0x82}));
    EXPECT_EQ(rewritten(read_all, {0x00}), (Bytes{0x00}));
    EXPECT_EQ(rewritten(read_all, {}), Bytes{});
}

} // namespace
} // namespace brantel
