#pragma once
// Driving dialogs drawn by Qt offscreen from a test: finding windows and controls by their
// object names, clicking, answering message boxes, and PNG screenshots in
// MORLIN_SCREENSHOT_DIR, as steps of a script that runs while the dialogs run modally.
#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QTimer>
#include <functional>
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
// tried again on the next tick (it waits for something to appear).
class Script {
  public:
    explicit Script(std::vector<std::function<bool()>> steps) : steps_(std::move(steps)) {
        QObject::connect(&timer_, &QTimer::timeout, [this] { tick(); });
        timer_.start(15);
    }
    bool finished() const { return next_ == steps_.size(); }

  private:
    void tick() {
        if (finished() || ++ticks_ > 4000) {
            timer_.stop();
            return;
        }
        if (steps_[next_]()) {
            ++next_;
        }
    }
    std::vector<std::function<bool()>> steps_;
    std::size_t next_ = 0;
    int ticks_ = 0;
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
