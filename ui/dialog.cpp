#include "ui/dialog.h"

#include <stdexcept>
#include <utility>

namespace dialogs {

const char* kind_name(ControlKind kind) {
    switch (kind) {
    case ControlKind::GroupBox:
        return "groupbox";
    case ControlKind::RadioButton:
        return "radio";
    case ControlKind::CheckBox:
        return "check";
    case ControlKind::Button:
        return "button";
    case ControlKind::Edit:
        return "edit";
    case ControlKind::DropDown:
        return "dropdown";
    case ControlKind::ListView:
        return "list";
    case ControlKind::Progress:
        return "progress";
    case ControlKind::Link:
        return "link";
    case ControlKind::Static:
        break;
    }
    return "static";
}

Dialog::Dialog(int template_id, int width, int height)
    : template_id_(template_id), width_(width), height_(height) {}

Dialog::~Dialog() {
    if (worker_.joinable()) {
        worker_.join();
    }
}

const Control* Dialog::find(int id) const {
    for (const Control& item : controls_) {
        if (item.id == id) {
            return &item;
        }
    }
    return nullptr;
}

Control& Dialog::control(int id) {
    for (Control& item : controls_) {
        if (item.id == id) {
            return item;
        }
    }
    throw std::logic_error("dialog " + std::to_string(template_id_) + " has no control " +
                           std::to_string(id));
}

void Dialog::initialise(DialogView& view) {
    view_ = &view;
    on_initialise();
}

Control& Dialog::add(ControlKind kind, int id, Rect rect, std::string text) {
    Control item;
    item.id = id;
    item.kind = kind;
    item.rect = rect;
    item.text = std::move(text);
    controls_.push_back(std::move(item));
    return controls_.back();
}

void Dialog::changed(int id) {
    if (view_ != nullptr) {
        view_->control_changed(id);
    }
}

void Dialog::set_title(std::string title) {
    title_ = std::move(title);
    if (view_ != nullptr) {
        view_->title_changed();
    }
}

void Dialog::set_system_menu(std::vector<MenuItem> items) {
    system_menu_ = std::move(items);
}

void Dialog::set_text(int id, std::string_view text) {
    Control& item = control(id);
    if (item.text != text) {
        item.text = std::string(text);
        changed(id);
    }
}

std::string Dialog::text(int id) const {
    const Control* item = find(id);
    return item == nullptr ? std::string() : item->text;
}

void Dialog::enable(int id, bool enabled) {
    Control& item = control(id);
    if (item.enabled != enabled) {
        item.enabled = enabled;
        changed(id);
    }
}

void Dialog::show(int id, bool visible) {
    Control& item = control(id);
    if (item.visible != visible) {
        item.visible = visible;
        changed(id);
    }
}

void Dialog::set_checked(int id, bool checked) {
    Control& item = control(id);
    if (item.checked != checked) {
        item.checked = checked;
        changed(id);
    }
}

void Dialog::set_position(int id, int position) {
    Control& item = control(id);
    position = position < 0 ? 0 : (position > 100 ? 100 : position);
    if (item.position != position) {
        item.position = position;
        changed(id);
    }
}

void Dialog::set_rows(int id, std::vector<std::vector<std::string>> rows) {
    Control& item = control(id);
    item.rows = std::move(rows);
    item.row_checked.assign(item.rows.size(), false);
    item.selection = -1;
    changed(id);
}

void Dialog::set_columns(int id, std::vector<std::string> columns) {
    Control& item = control(id);
    item.columns = std::move(columns);
    changed(id);
}

void Dialog::set_row(int id, int row, std::vector<std::string> texts) {
    Control& item = control(id);
    if (row < 0 || row >= static_cast<int>(item.rows.size()) ||
        item.rows[static_cast<std::size_t>(row)] == texts) {
        return;
    }
    item.rows[static_cast<std::size_t>(row)] = std::move(texts);
    changed(id);
}

void Dialog::select(int id, int row) {
    Control& item = control(id);
    if (row < -1 || row >= static_cast<int>(item.rows.size())) {
        row = -1;
    }
    if (item.selection != row) {
        item.selection = row;
        changed(id);
    }
}

void Dialog::set_row_checked(int id, int row, bool checked) {
    Control& item = control(id);
    if (row >= 0 && row < static_cast<int>(item.row_checked.size()) &&
        item.row_checked[static_cast<std::size_t>(row)] != checked) {
        item.row_checked[static_cast<std::size_t>(row)] = checked;
        changed(id);
    }
}

void Dialog::focus(int id) {
    if (view_ != nullptr) {
        view_->focus(id);
    }
}

void Dialog::end(int result) {
    if (ended_) {
        return;
    }
    ended_ = true;
    result_ = result;
    if (view_ != nullptr) {
        view_->dialog_ended(result);
    }
}

void Dialog::set_timer(int id, std::uint32_t period_ms) {
    timers_[id] = TimerSetting{period_ms, ++timer_generation_};
    if (view_ != nullptr) {
        view_->timers_changed();
    }
}

void Dialog::kill_timer(int id) {
    if (timers_.erase(id) != 0 && view_ != nullptr) {
        view_->timers_changed();
    }
}

void Dialog::timer_elapsed(int id) {
    if (ended_ || timers_.count(id) == 0) {
        return; // killed meanwhile: an elapsed period that was already on its way is dropped
    }
    const bool outer = !in_timer_;
    in_timer_ = true;
    on_timer(id);
    if (outer) {
        in_timer_ = false;
    }
}

platform::MessageAnswer Dialog::message_box(const platform::MessageBoxRequest& request) {
    if (in_timer_) {
        ++boxes_from_timers_;
    }
    if (view_ == nullptr) {
        return platform::user_interface()->message_box(request);
    }
    return view_->message_box(request);
}

std::optional<std::string> Dialog::open_file(const platform::FileDialogRequest& request) {
    return view_ == nullptr ? platform::user_interface()->open_file(request)
                            : view_->open_file(request);
}

std::optional<std::string> Dialog::save_file(const platform::FileDialogRequest& request) {
    return view_ == nullptr ? platform::user_interface()->save_file(request)
                            : view_->save_file(request);
}

int Dialog::run_child(Dialog& child) {
    return view_ == nullptr ? dialog_runner().run_modal(child) : view_->run_child(child);
}

void Dialog::open_link(const std::string& target) {
    if (view_ != nullptr) {
        view_->open_link(target);
    }
}

void Dialog::user_select(int id, int row) {
    Control& item = control(id);
    if (row >= 0 && row < static_cast<int>(item.rows.size())) {
        item.selection = row;
        selection_changed(id, row);
    }
}

void Dialog::user_check_row(int id, int row, bool checked) {
    Control& item = control(id);
    if (row >= 0 && row < static_cast<int>(item.row_checked.size())) {
        item.row_checked[static_cast<std::size_t>(row)] = checked;
        row_check_changed(id, row, checked);
    }
}

void Dialog::user_type(int id, std::string_view text) {
    control(id).text = std::string(text);
    text_typed(id, text);
}

void Dialog::on_dialog_thread(const std::function<void()>& task) {
    if (view_ == nullptr) {
        task();
        return;
    }
    view_->run_on_dialog_thread(task);
}

void Dialog::start_worker(std::function<void()> work) {
    // The previous worker may still wait for its last task on this thread (a Start clicked
    // right after a run was let through): it is served before the thread is joined.
    wait_for_worker();
    if (worker_.joinable()) {
        worker_.join();
    }
    worker_running_ = true;
    worker_ = std::thread([this, work = std::move(work)] {
        work();
        // The flag is cleared on the dialog thread, so that a dialog thread that waits for the
        // worker wakes up from this task and never sees the flag change behind its back.
        on_dialog_thread([this] { worker_running_ = false; });
    });
}

void Dialog::wait_for_worker() {
    if (!worker_running_) {
        return;
    }
    if (view_ == nullptr) {
        worker_.join();
        return;
    }
    view_->pump_until([this] { return !worker_running_.load(); });
    // The worker may still be leaving the view's task queue: it must be gone before the view
    // (and its queue) can go.
    worker_.join();
}

} // namespace dialogs
