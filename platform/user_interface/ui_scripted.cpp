// The scripted user interface for tests: answers from queues, every request recorded.
#include "platform/user_interface/ui.h"

namespace platform {

MessageAnswer ScriptedUserInterface::message_box(const MessageBoxRequest& request) {
    std::lock_guard lock(mutex);
    boxes.push_back(request);
    MessageAnswer answer = default_answer(request.buttons, request.default_button);
    if (!answers.empty()) {
        MessageAnswer scripted = answers.front();
        answers.erase(answers.begin());
        if (offers_answer(request.buttons, scripted)) {
            answer = scripted;
        }
    }
    return answer;
}

void ScriptedUserInterface::show_wait(std::string_view text) {
    std::lock_guard lock(mutex);
    wait_texts.emplace_back(text);
    wait_visible = true;
}

void ScriptedUserInterface::hide_wait() {
    std::lock_guard lock(mutex);
    wait_visible = false;
}

std::optional<std::string> ScriptedUserInterface::open_file(const FileDialogRequest& request) {
    std::lock_guard lock(mutex);
    file_requests.push_back(request);
    if (file_answers.empty()) {
        return std::nullopt;
    }
    auto answer = std::move(file_answers.front());
    file_answers.erase(file_answers.begin());
    return answer;
}

std::optional<std::string> ScriptedUserInterface::save_file(const FileDialogRequest& request) {
    return open_file(request);
}

} // namespace platform
