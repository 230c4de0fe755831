#pragma once
// The About box (dialog 100): the program's version line, the first plug-in's information or
// the program's copyright, every plug-in's version line, and a link to the maker.
#include "ui/dialog.h"

namespace morlin {

class MorlinApp;

enum AboutControl : int {
    kIdAboutOk = 1,
    kIdAboutVersion = 1036,
    kIdAboutPlugins = 1037,
    kIdAboutCopyright = 1038,
    kIdAboutLink = 1061,
};
inline constexpr int kTemplateAbout = 100;
// The maker's address that the box shows when no plug-in names one.
inline constexpr const char* kMakerAddress = "https://ostrum.example.com/firmware";

class AboutBox final : public dialogs::Dialog {
  public:
    explicit AboutBox(const MorlinApp& app);
    void clicked(int id) override;

  protected:
    void on_initialise() override;

  private:
    const MorlinApp& app_;
};

} // namespace morlin
