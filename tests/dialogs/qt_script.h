#pragma once
// Driving dialogs drawn by Qt offscreen from a test: finding windows and controls by their
// object names, clicking, answering message boxes, and PNG screenshots in
// MORLIN_SCREENSHOT_DIR, as steps of a script that runs while the dialogs run modally.
#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QMessageBox>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace qt_script {

inline QWidget* window_of(int template_id) {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->isVisible() &&
            window->objectName() == "dialog-" + QString::number(template_id)) {
            return window;
        }
    }
    return nullptr;
}

template <typename T = QWidget> T* control_of(int template_id, int id) {
    QWidget* window = window_of(template_id);
    return window == nullptr ? nullptr : window->findChild<T*>("control-" + QString::number(id));
}

inline QMessageBox* open_box() {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(window); box != nullptr && box->isVisible()) {
            return box;
        }
    }
    return nullptr;
}

inline void screenshot(QWidget* widget, const std::string& name) {
    QDir().mkpath(MORLIN_SCREENSHOT_DIR);
    widget->grab().save(QString(MORLIN_SCREENSHOT_DIR) + "/" + QString::fromStdString(name) +
                        ".png");
}

// Steps carried out one after another while dialogs run modally; a step that returns false is
// tried again on the next tick (it waits for something to appear). A step that does not
// happen within its time limit fails the test, and every window still open is closed, so the
// test ends at once instead of at the time-out of the whole run.
class Script {
  public:
    static constexpr int kTickMs = 15;
    static constexpr int kStepLimitMs = 20000;

    explicit Script(std::vector<std::function<bool()>> steps) : steps_(std::move(steps)) {
        QObject::connect(&timer_, &QTimer::timeout, [this] { tick(); });
        timer_.start(kTickMs);
    }
    bool finished() const { return next_ == steps_.size(); }

  private:
    void tick() {
        if (failed_) {
            close_every_window(); // boxes a closed window still shows on its way out
            return;
        }
        if (finished()) {
            timer_.stop();
            return;
        }
        if (steps_[next_]()) {
            ++next_;
            step_ticks_ = 0;
        } else if (++step_ticks_ * kTickMs > kStepLimitMs) {
            ADD_FAILURE() << "step " << next_ + 1 << " of the script did not happen within "
                          << kStepLimitMs << " ms";
            failed_ = true;
            close_every_window();
        }
    }
    static void close_every_window() {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (auto* dialog = qobject_cast<QDialog*>(window);
                dialog != nullptr && dialog->isVisible()) {
                dialog->done(QDialog::Rejected);
            }
        }
    }
    std::vector<std::function<bool()>> steps_;
    std::size_t next_ = 0;
    int step_ticks_ = 0;
    bool failed_ = false;
    QTimer timer_;
};

inline bool click(int template_id, int id) {
    auto* button = control_of<QAbstractButton>(template_id, id);
    if (button == nullptr || !button->isEnabled()) {
        return false;
    }
    // Clicked from the event loop, not from inside the script's tick: what the click opens
    // modally must not hold up the next tick.
    QTimer::singleShot(0, button, &QAbstractButton::click);
    return true;
}

inline bool shot(int template_id, const std::string& name) {
    QWidget* window = window_of(template_id);
    if (window == nullptr) {
        return false;
    }
    screenshot(window, name);
    return true;
}

// Answers the open message box with `button` after taking its picture (when named).
inline std::function<bool()> answer_box(QMessageBox::StandardButton button, std::string name = {}) {
    return [button, name] {
        QMessageBox* box = open_box();
        if (box == nullptr) {
            return false;
        }
        if (!name.empty()) {
            screenshot(box, name);
        }
        QTimer::singleShot(0, box->button(button), &QAbstractButton::click);
        return true;
    };
}

} // namespace qt_script
