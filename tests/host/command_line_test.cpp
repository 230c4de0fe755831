// Morlin's command line.
#include "host/command_line.h"

#include <gtest/gtest.h>

namespace morlin {
namespace {

TEST(CommandLine, SwitchesAreSubstringsIgnoringCase) {
    const CommandLine line = parse_command_line({"/di", "/iv"});
    EXPECT_TRUE(line.device_info());
    EXPECT_TRUE(line.identical_version());
    EXPECT_FALSE(line.config_editor());
    EXPECT_TRUE(parse_command_line({"x/cex"}).config_editor());
    EXPECT_TRUE(parse_command_line({}).config_path.empty());
}

TEST(CommandLine, ConfigPathIsTheRestOfTheLineWithItsOwnLetters) {
    const CommandLine line = parse_command_line({"/iv", "/cfg", "", "my dir/Morlin.cfg"});
    EXPECT_EQ(line.config_path, "my dir/Morlin.cfg");
    EXPECT_TRUE(line.identical_version());

    EXPECT_EQ(parse_command_line({"/CFG  /tmp/Lower Case.cfg"}).config_path, "/tmp/Lower Case.cfg");
}

TEST(CommandLine, SwitchesInsideTheConfigPathAreNotSwitches) {
    const CommandLine line = parse_command_line({"/CFG", "/srv/dist/cell/Morlin.cfg"});
    EXPECT_FALSE(line.device_info());
    EXPECT_FALSE(line.config_editor());
    EXPECT_EQ(line.config_path, "/srv/dist/cell/Morlin.cfg");
}

} // namespace
} // namespace morlin
