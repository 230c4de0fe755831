#include "platform/files/files.h"
#include "platform/foundation/last_error.h"
#include "platform/winapi/library.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include <unistd.h>

namespace {

using test_support::TempDir;

int probe_id(const platform::Library& library) {
    auto function = reinterpret_cast<int (*)()>(library.symbol("probe_id"));
    return function != nullptr ? function() : -1;
}

// Runs in a temporary current directory; restores the old one afterwards.
class PlatformLibrary : public ::testing::Test {
  protected:
    void SetUp() override {
        old_ = std::filesystem::current_path();
        std::filesystem::current_path(dir_.path());
    }
    void TearDown() override { std::filesystem::current_path(old_); }
    void copy_probe(const std::string& as) {
        std::filesystem::copy_file(std::string(PROBE_ELSEWHERE_DIR) + "/SearchProbe.so",
                                   dir_.file(as));
    }
    TempDir dir_;
    std::filesystem::path old_;
};

TEST_F(PlatformLibrary, ProgramFolderComesBeforeCurrentDirectory) {
    copy_probe("SearchProbe.so");
    auto library = platform::Library::load("SEARCHPROBE.SO");
    ASSERT_TRUE(library);
    EXPECT_EQ(probe_id(*library), 1);
    EXPECT_EQ(library->path(), platform::program_directory() + "/SearchProbe.so");
}

TEST_F(PlatformLibrary, CurrentDirectoryIsSearchedIgnoringCase) {
    copy_probe("OnlyHere.so");
    auto library = platform::Library::load("onlyhere.SO");
    ASSERT_TRUE(library);
    EXPECT_EQ(probe_id(*library), 2);
    EXPECT_EQ(library->symbol("no_such_function"), nullptr);
    EXPECT_EQ(platform::last_error(), platform::kErrorProcNotFound);
}

TEST_F(PlatformLibrary, FailuresCarryWindowsCodes) {
    EXPECT_FALSE(platform::Library::load("NoSuchLibrary.so"));
    EXPECT_EQ(platform::last_error(), platform::kErrorModNotFound);
    test_support::write_text(dir_.file("Broken.so"), "this is not a library");
    EXPECT_FALSE(platform::Library::load("Broken.so"));
    EXPECT_EQ(platform::last_error(), platform::kErrorBadFormat);
    EXPECT_FALSE(platform::Library::load(dir_.file("absent/Thing.so")));
    EXPECT_EQ(platform::last_error(), platform::kErrorModNotFound);
}

TEST_F(PlatformLibrary, LoadsByPathWithBackslashesAndFindsItsOwnFile) {
    copy_probe("Probe.so");
    std::string windows_style = dir_.path().string() + "\\PROBE.so";
    auto library = platform::Library::load(windows_style);
    ASSERT_TRUE(library);
    EXPECT_EQ(probe_id(*library), 2);
    void* function = library->symbol("probe_id");
    auto where = platform::module_path_of(function);
    ASSERT_TRUE(where);
    EXPECT_EQ(*where, std::filesystem::canonical(dir_.file("Probe.so")).string());
    auto self = platform::module_path_of(reinterpret_cast<const void*>(&probe_id));
    ASSERT_TRUE(self);
    EXPECT_EQ(*self, platform::program_path());
}

} // namespace
