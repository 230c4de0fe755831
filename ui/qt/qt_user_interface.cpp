// The user-interface port drawn with Qt: message boxes, file dialogs and the wait window.
// Every call is carried out on the toolkit's thread; a caller on another thread waits.
#include "ui/qt/qt_parts.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>
#include <memory>

namespace dialogs {

namespace {

QString q(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QMessageBox::Icon icon_of(platform::MessageIcon icon) {
    switch (icon) {
    case platform::MessageIcon::Error:
        return QMessageBox::Critical;
    case platform::MessageIcon::Warning:
        return QMessageBox::Warning;
    case platform::MessageIcon::Information:
        return QMessageBox::Information;
    case platform::MessageIcon::Question:
        return QMessageBox::Question;
    case platform::MessageIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

struct ButtonAnswer {
    QMessageBox::StandardButton button;
    platform::MessageAnswer answer;
};

std::vector<ButtonAnswer> buttons_of(platform::MessageButtons buttons) {
    using platform::MessageAnswer;
    switch (buttons) {
    case platform::MessageButtons::OkCancel:
        return {{QMessageBox::Ok, MessageAnswer::Ok}, {QMessageBox::Cancel, MessageAnswer::Cancel}};
    case platform::MessageButtons::YesNo:
        return {{QMessageBox::Yes, MessageAnswer::Yes}, {QMessageBox::No, MessageAnswer::No}};
    case platform::MessageButtons::YesNoCancel:
        return {{QMessageBox::Yes, MessageAnswer::Yes},
                {QMessageBox::No, MessageAnswer::No},
                {QMessageBox::Cancel, MessageAnswer::Cancel}};
    case platform::MessageButtons::Ok:
        break;
    }
    return {{QMessageBox::Ok, MessageAnswer::Ok}};
}

// "Bin Files (*.bin)" and "*.bin" as Qt writes a filter.
QStringList name_filters(const platform::FileDialogRequest& request) {
    QStringList filters;
    for (const auto& [label, pattern] : request.filters) {
        const QString title = q(label);
        filters << (title.contains('(') ? title : title + " (" + q(pattern) + ")");
    }
    return filters;
}

class QtUserInterface final : public platform::UserInterface {
  public:
    platform::MessageAnswer message_box(const platform::MessageBoxRequest& request) override {
        platform::MessageAnswer answer =
            platform::default_answer(request.buttons, request.default_button);
        run_on_gui_thread([&] {
            QMessageBox box(icon_of(request.icon), q(request.caption), q(request.text),
                            QMessageBox::NoButton, QApplication::activeWindow());
            box.setObjectName("message-box");
            const auto buttons = buttons_of(request.buttons);
            for (const ButtonAnswer& entry : buttons) {
                QPushButton* button = box.addButton(entry.button);
                if (entry.answer == answer) {
                    box.setDefaultButton(button);
                }
            }
            // Room above the first line for the accents of capitals (the dots of "Ü"): a
            // selectable text is cut at its margins, a plain one only at the label's edge.
            if (auto* label = box.findChild<QLabel*>("qt_msgbox_label")) {
                label->setTextInteractionFlags(Qt::NoTextInteraction);
                label->setContentsMargins(0, 2, 0, 0);
            }
            box.exec();
            for (const ButtonAnswer& entry : buttons) {
                if (box.clickedButton() == box.button(entry.button)) {
                    answer = entry.answer;
                }
            }
            // Closed without a button: as Windows, Cancel where the box has one.
            if (box.clickedButton() == nullptr &&
                platform::offers_answer(request.buttons, platform::MessageAnswer::Cancel)) {
                answer = platform::MessageAnswer::Cancel;
            }
        });
        return answer;
    }

    void show_wait(std::string_view text) override {
        const std::string shown(text);
        run_on_gui_thread([&] {
            if (!wait_) {
                wait_ = std::make_unique<QDialog>(nullptr, Qt::Dialog | Qt::CustomizeWindowHint |
                                                               Qt::WindowTitleHint);
                wait_->setObjectName("wait-window-147");
                auto* layout = new QVBoxLayout(wait_.get());
                label_ = new QLabel(wait_.get());
                label_->setObjectName("control-1039");
                label_->setAlignment(Qt::AlignCenter);
                label_->setMinimumWidth(260);
                layout->addWidget(label_);
                layout->setContentsMargins(24, 18, 24, 18);
                wait_->setWindowTitle("Morlin");
            }
            label_->setText(q(shown));
            wait_->show();
            wait_->raise();
            // Created, shown and painted at once: the caller works on without a message loop.
            QApplication::processEvents();
        });
    }

    void hide_wait() override {
        run_on_gui_thread([&] {
            wait_.reset();
            label_ = nullptr;
        });
    }

    std::optional<std::string> open_file(const platform::FileDialogRequest& request) override {
        return file_dialog(request, QFileDialog::AcceptOpen);
    }

    std::optional<std::string> save_file(const platform::FileDialogRequest& request) override {
        return file_dialog(request, QFileDialog::AcceptSave);
    }

  private:
    std::optional<std::string> file_dialog(const platform::FileDialogRequest& request,
                                           QFileDialog::AcceptMode mode) {
        std::optional<std::string> chosen;
        run_on_gui_thread([&] {
            QFileDialog dialog(QApplication::activeWindow(), q(request.title),
                               q(request.initial_directory));
            dialog.setObjectName(mode == QFileDialog::AcceptOpen ? "open-file" : "save-file");
            dialog.setAcceptMode(mode);
            dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                               : QFileDialog::AnyFile);
            dialog.setNameFilters(name_filters(request));
            // A typed name without an extension gets the default one (".ALL").
            dialog.setDefaultSuffix(q(request.default_extension));
            if (!request.initial_name.empty() &&
                request.initial_name.find('*') == std::string::npos) {
                dialog.selectFile(q(request.initial_name));
            }
            // Qt asks before overwriting and leaves the process's current folder alone.
            if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
                chosen = dialog.selectedFiles().front().toStdString();
            }
        });
        return chosen;
    }

    std::unique_ptr<QDialog> wait_;
    QLabel* label_ = nullptr;
};

} // namespace

std::shared_ptr<platform::UserInterface> make_qt_user_interface() {
    return std::make_shared<QtUserInterface>();
}

} // namespace dialogs
