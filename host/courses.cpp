#include "host/courses.h"

#include "host/dialogs/cfg_edt_dlg.h"
#include "host/dialogs/dev_info.h"
#include "host/dialogs/morlin_dlg.h"
#include "host/host_log.h"
#include "host/morlin_app.h"
#include "host/plugins/device_lists.h"
#include "ui/dialog_view.h"

#include <string>

namespace morlin {

int run_configuration_editor(MorlinApp& app) {
    CfgEdtDlg editor(app);
    dialogs::dialog_runner().run_modal(editor);
    return kExitSuccess;
}

int run_device_information_display(MorlinApp& app) {
    app.device_info_display = true;
    app.download_mode = false;
    app.options.silent = false;
    app.show_wait_window();
    const HostError outcome = create_device_lists(app);
    app.close_wait_window();
    if (outcome.failed()) {
        app.show_host_error(outcome);
        return kExitSuccess;
    }
    DevInfo display(app, DevInfoMode::DeviceChoice, {});
    dialogs::dialog_runner().run_modal(display);
    return kExitSuccess;
}

int run_interactive(MorlinApp& app) {
    app.show_wait_window();
    if (app.command_line.identical_version()) {
        app.iv_flag = true;
    }
    const HostError outcome = create_device_lists(app);
    app.close_wait_window();
    if (outcome.failed()) {
        app.show_host_error(outcome);
        return app.exit_code_word.load();
    }
    MorlinDlg window(app, app.upload_available ? kTemplateWithModes : kTemplateDownloadOnly);
    dialogs::dialog_runner().run_modal(window);
    // The run history tells what the window's outcome tells: the last run succeeded.
    app.run_record.succeeded = window.outcome() == kOutcomeSucceeded;
    return window.outcome();
}

} // namespace morlin
