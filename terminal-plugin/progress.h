#pragma once
// Progress reports to the host: (steps, string number) turned into (steps, text).
#include "texts.h"

#include <vup_plugin.h>

namespace vupporta {

class Progress {
  public:
    Progress(VUPProgressCallback callback, const Texts& texts)
        : callback_(callback), texts_(texts) {}

    bool present() const { return callback_ != nullptr; }
    void report(int steps, unsigned text_id) const {
        if (callback_ != nullptr) {
            const std::string text = texts_.text(text_id);
            callback_(steps, text.c_str());
        }
    }
    // The last report of a failed or aborted run: (0, no text).
    void report_failed() const {
        if (callback_ != nullptr) {
            callback_(0, nullptr);
        }
    }

  private:
    VUPProgressCallback callback_;
    const Texts& texts_;
};

} // namespace vupporta
