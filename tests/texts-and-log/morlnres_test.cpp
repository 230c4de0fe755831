// The shipped resource library: a text in both languages for every number that Morlin and
// VUPPorta use, and format texts with exactly the conversions their callers pass.
#include "platform/winapi/library.h"
#include "texts-and-log/resource_string.h"

#include <gtest/gtest.h>
#include <set>
#include <vector>

namespace {

// Numbers in the programs' ranges that no caller uses; they carry no text.
const std::set<unsigned> kUnused = {3,   16,  21,  23,  25,  28,  31,  117, 202, 203,
                                    205, 206, 208, 209, 210, 211, 622, 624, 741};

std::vector<unsigned> used_numbers() {
    std::vector<unsigned> numbers = {1, 512, 603, 605};
    auto add = [&numbers](unsigned first, unsigned last) {
        for (unsigned n = first; n <= last; ++n) {
            if (kUnused.count(n) == 0) {
                numbers.push_back(n);
            }
        }
    };
    add(2, 49);
    add(100, 120);
    add(620, 626);
    add(200, 212);
    add(728, 757);
    return numbers;
}

// The printf conversions of a text, in order ("%%" is no conversion).
std::string conversions(const std::string& text) {
    std::string found;
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] == '%') {
            if (text[i + 1] != '%') {
                found += text[i + 1];
            }
            ++i;
        }
    }
    return found;
}

class SharedMorlnres : public ::testing::Test {
  protected:
    void SetUp() override {
        module_ = platform::Library::load(std::string(MORLIN_BIN_DIR) + "/MORLNRES.so");
        ASSERT_TRUE(module_);
    }
    std::unique_ptr<platform::Library> module_;
};

TEST_F(SharedMorlnres, EveryUsedNumberHasAnEnglishAndAGermanText) {
    for (unsigned id : used_numbers()) {
        EXPECT_FALSE(shared::resource_string(*module_, id, shared::kLanguageEnglish).empty()) << id;
        EXPECT_FALSE(shared::resource_string(*module_, id, shared::kLanguageGerman).empty()) << id;
    }
    for (unsigned id : kUnused) {
        EXPECT_TRUE(shared::resource_string(*module_, id, shared::kLanguageEnglish).empty()) << id;
    }
}

TEST_F(SharedMorlnres, FormatsCarryExactlyTheConversionsOfTheirCallers) {
    for (unsigned id : used_numbers()) {
        std::string expected = id == 100 || id == 103 ? "s" : id == 743 ? "d" : "";
        for (auto language : {shared::kLanguageEnglish, shared::kLanguageGerman}) {
            std::string text = shared::resource_string(*module_, id, language);
            EXPECT_EQ(conversions(text), expected) << id << ": " << text;
            EXPECT_LT(text.size(), 200u) << id; // progress and label buffers hold 200 bytes
        }
    }
}

TEST_F(SharedMorlnres, GermanTextsAreUtf8) {
    EXPECT_EQ(shared::resource_string(*module_, 11, shared::kLanguageGerman), "Schlie\xC3\x9F"
                                                                              "en");
    EXPECT_EQ(shared::resource_string(*module_, 747, shared::kLanguageGerman), "Produkt");
    EXPECT_EQ(shared::resource_string(*module_, 747, shared::kLanguageEnglish), "Product");
}

} // namespace
