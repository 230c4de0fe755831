#pragma once
// The host's abort flag: an int that the host owns and hands over by address. The host and
// the device monitor thread set it, the download reads it; all of them through atomic access.
#include <atomic>

namespace vupporta {

class AbortFlag {
  public:
    AbortFlag() = default;
    explicit AbortFlag(int* flag) : flag_(flag) {}

    bool present() const { return flag_ != nullptr; }
    // An absent flag counts as "not set".
    bool is_set() const { return flag_ != nullptr && std::atomic_ref<int>(*flag_).load() != 0; }
    void set() const {
        if (flag_ != nullptr) {
            std::atomic_ref<int>(*flag_).store(1);
        }
    }

  private:
    int* flag_ = nullptr;
};

} // namespace vupporta
