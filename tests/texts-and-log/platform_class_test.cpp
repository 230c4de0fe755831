#include "texts-and-log/platform_class.h"
#include "texts-and-log/ui_language.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <string>

namespace {

// Sets an environment variable for one scope.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
            had_ = true;
        }
        if (value != nullptr) {
            ::setenv(name, value, 1);
        } else {
            ::unsetenv(name);
        }
    }
    ~ScopedEnv() {
        if (had_) {
            ::setenv(name_.c_str(), old_.c_str(), 1);
        } else {
            ::unsetenv(name_.c_str());
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    std::string name_, old_;
    bool had_ = false;
};

TEST(SharedPlatformClass, FollowsThePlatformId) {
    struct Case {
        const char* injected;
        int expected;
    };
    for (const Case& c :
         {Case{nullptr, 2}, Case{"win98", 0}, Case{"winme", 0}, Case{"nt4", 1}, Case{"winxp", 1},
          Case{"fail", 2}, Case{"0:3.10.0", 2}, Case{"7:1.0.0", 2}}) {
        ScopedEnv env("MORLIN_OS_VERSION", c.injected);
        EXPECT_EQ(shared::platform_class(), c.expected) << (c.injected ? c.injected : "none");
    }
}

TEST(SharedUiLanguage, ReportsTheWholeLanguageId) {
    ScopedEnv all("LC_ALL", nullptr);
    ScopedEnv messages("LC_MESSAGES", nullptr);
    {
        ScopedEnv lang("LANG", "de_CH.UTF-8");
        EXPECT_EQ(shared::ui_language(), 0x0807);
    }
    {
        ScopedEnv lang("LANG", "de_DE.UTF-8");
        EXPECT_EQ(shared::ui_language(), 0x0407);
    }
    ScopedEnv lang("LANG", "tlh_QO");
    EXPECT_EQ(shared::ui_language(), 0);
}

} // namespace
