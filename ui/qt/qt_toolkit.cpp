#include "ui/qt/qt_toolkit.h"

#include "ui/qt/qt_parts.h"
#include "ui/task_queue.h"

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QSocketNotifier>
#include <QThread>
#include <QTranslator>
#include <cstdlib>
#include <string_view>

namespace dialogs {

bool qt_wanted() {
    const auto set = [](const char* name) {
        const char* value = std::getenv(name);
        return value != nullptr && *value != '\0';
    };
    const char* choice = std::getenv("MORLIN_UI");
    if (choice != nullptr && std::string_view(choice) == "console") {
        return false;
    }
    return set("DISPLAY") || set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM");
}

namespace {
// Tasks from other threads wait in the project's own queue (whose locks the thread sanitizer
// sees); its wake-up pipe tells the toolkit's event loop to run them.
TaskQueue& gui_tasks() {
    static TaskQueue queue;
    return queue;
}
} // namespace

struct QtToolkit::State {
    std::unique_ptr<QApplication> application;
    std::unique_ptr<QSocketNotifier> wake;
    std::unique_ptr<QTranslator> translator;
    std::shared_ptr<DialogRunner> previous_runner;
    std::shared_ptr<platform::UserInterface> previous_port;
};

QtToolkit::QtToolkit(int& argc, char** argv) : state_(std::make_unique<State>()) {
    state_->application = std::make_unique<QApplication>(argc, argv);
    state_->wake = std::make_unique<QSocketNotifier>(gui_tasks().wake_fd(), QSocketNotifier::Read);
    QObject::connect(state_->wake.get(), &QSocketNotifier::activated,
                     [] { gui_tasks().run_pending(); });
    QApplication::setWindowIcon(program_icon());
    // Message boxes and file dialogs speak the user's language, as the system's own do on
    // Windows; the programs pick their resource language from the same locale.
    use_language({});
    state_->previous_runner = install_dialog_runner(make_qt_dialog_runner());
    state_->previous_port = platform::install_user_interface(make_qt_user_interface());
}

QtToolkit::~QtToolkit() {
    state_->wake.reset();
    platform::install_user_interface(std::move(state_->previous_port));
    install_dialog_runner(std::move(state_->previous_runner));
}

void QtToolkit::use_language(const std::string& locale_name) {
    if (state_->translator) {
        QCoreApplication::removeTranslator(state_->translator.get());
    }
    const QLocale locale =
        locale_name.empty() ? QLocale::system() : QLocale(QString::fromStdString(locale_name));
    state_->translator = std::make_unique<QTranslator>();
    if (state_->translator->load(locale, "qtbase", "_",
                                 QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(state_->translator.get());
    } else {
        state_->translator.reset();
    }
}

std::unique_ptr<QtToolkit> start_qt_if_wanted(int& argc, char** argv) {
    if (!qt_wanted()) {
        return nullptr;
    }
    return std::make_unique<QtToolkit>(argc, argv);
}

void run_on_gui_thread(const std::function<void()>& task) {
    QCoreApplication* application = QCoreApplication::instance();
    if (application == nullptr || QThread::currentThread() == application->thread()) {
        task();
        return;
    }
    gui_tasks().run(task);
}

void pump_gui_until(const std::function<bool()>& done) {
    while (!done()) {
        gui_tasks().run_pending();
        if (done()) {
            return;
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}

QIcon program_icon() {
    QIcon icon;
    for (int size : {16, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        const double s = size / 16.0;
        // A terminal: dark blue body, light blue screen.
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0, 0, 139));
        painter.drawRoundedRect(QRectF(2 * s, 6 * s, 12 * s, 9 * s), 1.5 * s, 1.5 * s);
        painter.setBrush(QColor(176, 226, 255));
        painter.drawRect(QRectF(4 * s, 8 * s, 8 * s, 3 * s));
        // An arrow coming down into it.
        painter.setBrush(QColor(30, 110, 220));
        QPainterPath arrow;
        arrow.moveTo(6.5 * s, 0.5 * s);
        arrow.lineTo(9.5 * s, 0.5 * s);
        arrow.lineTo(9.5 * s, 3.5 * s);
        arrow.lineTo(11.5 * s, 3.5 * s);
        arrow.lineTo(8 * s, 7 * s);
        arrow.lineTo(4.5 * s, 3.5 * s);
        arrow.lineTo(6.5 * s, 3.5 * s);
        arrow.closeSubpath();
        painter.drawPath(arrow);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace dialogs
