#pragma once
// The configured run: the files of Morlin.cfg matched to devices and downloaded, silently or
// in the progress dialog.
//
// What the run finds in MorlinApp (host/morlin_app.h):
//   app.downloads / app.download_count   the download-file table (30 DownloadEntry), filled
//                                        by the configuration reader in file order, a Tamsel
//                                        image last; plugin_index/device_index are set by the
//                                        run (255 = none)
//   app.plugins / app.plugin_count       bound plug-ins (PluginRecord: functions, device
//                                        information list of 30 entries, version line,
//                                        device count, is_mobile_terminal_plugin())
//   app.current_plugin(_index), app.last_chosen_device, app.matching_entry
//   app.options                          silent, backup, report_status, match_by_symlink,
//                                        match_dfu_dev_by_prod_type, disable_help
//   app.command_line.identical_version() "/IV" on the command line; app.iv_flag to set
//   app.backup_directory                 folder for backup paths
//   app.config_file_path()               for the SymLink lookup (host/config/config_file.h)
//   app.config_name_for_plugins()        name for VUPCreateDeviceInfoList
//   app.show_host_error(), app.ui(), app.show_wait_window(), app.close_wait_window()
//   host_log(...) / log_text(...)        (host/host_log.h)
// Helpers already there: create_device_lists() and end_run() (host/plugins/device_lists.h),
// choose_plugin_for_file() (host/plugins/plugin_binding.h), run_interactive() (host/courses.h) for
// the fall-back to the interactive run.
namespace morlin {

class MorlinApp;

// Carries out the configured run and reports its result (message boxes, log). Returns the
// exit-code contribution: the progress dialog's outcome, or 255 for a silent run, a run that
// stopped before its downloads, or a fall-back to the interactive run. The caller stores it
// in app.exit_code_word.
[[nodiscard]] int run_configured_update(MorlinApp& app);

} // namespace morlin
