// The run report file: one block appended per finished run.
#include "wrapper/report/run_report.h"

#include "platform/files/files.h"
#include "platform/files/text_file.h"
#include "platform/user_interface/ui.h"
#include "wrapper/language.h"
#include "wrapper/report/run_report_block.h"
#include "wrapper/trust.h"

#include <span>

namespace valdrun {
namespace {

void show_open_error(const RunRecord& record, const std::string& path) {
    platform::MessageBoxRequest box;
    box.text = format_text(Message::ReportFileError, path.c_str());
    box.caption = record.window_title;
    box.icon = platform::MessageIcon::None;
    (void)platform::user_interface()->message_box(box); // a notice: the run goes on
}

std::span<const std::uint8_t> bytes_of(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

} // namespace

std::string run_report_path(const std::string& program_path) {
    return sibling_file(program_path, "log");
}

bool write_run_report(RunRecord& record, int return_code, std::chrono::system_clock::time_point now,
                      ReportNote note) {
    const bool tool_still_running = note == ReportNote::ToolStillRunning;
    const std::string path = run_report_path(record.program_path);
    const bool existed = platform::file_exists(platform::resolve_ignoring_case(path));
    platform::OpenOptions options;
    options.access = platform::Access::ReadWrite;
    options.share = platform::Share::Read;
    options.disposition = platform::Disposition::OpenAlways; // never truncates
    options.append = true;
    options.refuse_symlink = true; // a link put in its place would have another file grow
    // Run as root, the report's folder and the report must be root's alone.
    std::optional<std::string> refusal =
        why_refused_as_root(record.program_folder.empty() ? "." : record.program_folder);
    const auto file = refusal ? nullptr : platform::File::open(path, options);
    if (file)
        refusal = why_written_file_refused_as_root(platform::resolve_ignoring_case(path));
    if (!file || refusal) {
        if (refusal)
            log_line("the run report " + path + " is not written: " + *refusal);
        if (!tool_still_running)
            show_open_error(record, path);
        return false;
    }
    const auto detected = record.latest().value_or(PassOutcome{});
    const ReportFacts facts{record.description,   detected,           record.version_line,
                            !record.first_notice, tool_still_running, record.tool_not_started};
    const std::string block =
        run_report_block(facts, return_code, report_stamp(now, current_language()));
    const std::string text = platform::with_platform_line_ends((existed ? "\n\n" : "") + block);

    // A block that could not be written whole is cut off again: the file keeps only whole
    // blocks.
    const auto size_before = file->size();
    if (size_before && file->write(bytes_of(text)) && file->flush()) {
        return true;
    }
    if (size_before) {
        (void)file->truncate(*size_before); // best effort; the failure is reported either way
    }
    return false;
}

} // namespace valdrun
