#pragma once
// The device information display: what a plug-in tells about one device (and a firmware file
// beside it) as rows of label, device value and file value. Three modes:
//   DeviceChoice  the /DI course: any listed device from a choice list, rows saved to a file
//   Device        from the main window in upload mode: the selected device
//   File          from the main window in download mode: the device and the chosen file
#include "host/dialogs/morlin_dialog.h"

#include <string>
#include <utility>
#include <vector>

namespace morlin {

class MorlinApp;

enum class DevInfoMode { DeviceChoice, Device, File };

// The device (and file) that the Device and File modes show.
struct DevInfoTarget {
    int plugin_index = -1;
    int device_index = 0;
    std::string file;
};

enum DevInfoControl : int {
    kIdDevInfoOk = 1,
    kIdDevInfoRows = 1018,
    kIdDevInfoChoice = 1019,
    kIdDevInfoText = 1020,       // the text above the list in the Device and File modes
    kIdDevInfoChoiceText = 1021, // the text above the choice list
    kIdDevInfoSave = 1022,
};
inline constexpr int kTemplateDevInfo = 129;

class DevInfo final : public MorlinDialog {
  public:
    DevInfo(MorlinApp& app, DevInfoMode mode, DevInfoTarget target);

    void clicked(int id) override;
    void selection_changed(int id, int row) override;

  protected:
    void on_initialise() override;

  private:
    // Asks the plug-in for the rows of the current device; false (error shown) on failure.
    bool query(const char* file);
    void choose_device(int row);
    void save();

    DevInfoMode mode_;
    DevInfoTarget target_;
};

} // namespace morlin
