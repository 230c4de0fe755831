// The dialogs drawn with Qt 6 Widgets: one window per dialog, each control a widget placed at
// its template position (dialog units scaled by the font), changes applied as they come.
#include "platform/foundation/clock.h"
#include "platform/processes/stop_request.h"
#include "ui/dialog.h"
#include "ui/qt/qt_parts.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QDialog>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleOptionProgressBar>
#include <QStyledItemDelegate>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>
#include <map>

namespace dialogs {

namespace {

QString q(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The width of a list's bar column, in pixels at 100 %.
constexpr int kBarColumnWidth = 110;

// A list column whose texts are positions 0..100, drawn as progress bars.
class BarColumnDelegate final : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionProgressBar bar;
        bar.initFrom(option.widget);
        bar.rect = option.rect.adjusted(2, 2, -2, -2);
        bar.minimum = 0;
        bar.maximum = 100;
        bar.progress = index.data().toString().toInt();
        bar.textVisible = false;
        bar.state |= QStyle::State_Horizontal;
        option.widget->style()->drawControl(QStyle::CE_ProgressBar, &bar, painter, option.widget);
    }
};

// A picture given as the lines of an XPM image.
QPixmap xpm_pixmap(const std::vector<std::string>& lines) {
    std::vector<const char*> data;
    for (const std::string& line : lines) {
        data.push_back(line.c_str());
    }
    data.push_back(nullptr);
    return QPixmap(data.data());
}

// A button drawn as its picture, scaled to the button (room for a finger or a 200 % screen):
// the released face, the pressed one while it is held down.
void make_picture_button(QPushButton* button, const Control& item, QSize size) {
    const auto fitted = [size](const QPixmap& picture) {
        return picture.scaled(size * 3 / 4, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    };
    const QPixmap released = fitted(xpm_pixmap(item.picture));
    const QPixmap pressed =
        item.pressed_picture.empty() ? released : fitted(xpm_pixmap(item.pressed_picture));
    button->setFlat(true);
    button->setStyleSheet("QPushButton { border: none; padding: 0; }");
    button->setIcon(QIcon(released));
    button->setAccessibleName(q(item.text));
    QObject::connect(button, &QPushButton::pressed, button,
                     [button, pressed] { button->setIcon(QIcon(pressed)); });
    QObject::connect(button, &QPushButton::released, button,
                     [button, released] { button->setIcon(QIcon(released)); });
}

// A list that gets the focus makes its first row current; the style frames the current cell
// of a focused list even without a selection. Only a selected row shows the focus.
class FocusOnSelectedRows final : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

  protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        if (!option->state.testFlag(QStyle::State_Selected)) {
            option->state.setFlag(QStyle::State_HasFocus, false);
        }
    }
};

// The host's list look: light blue background, dark blue text, equal left-aligned columns. No
// focus frame (focus without a selection must not look like one) and rows with room between
// them, so check boxes do not touch.
constexpr const char* kListLook =
    "QTreeWidget { background: rgb(176,226,255); color: rgb(0,0,139);"
    " alternate-background-color: rgb(176,226,255);"
    " selection-background-color: rgb(0,0,139); selection-color: white; outline: 0; }"
    " QTreeWidget::item { padding-top: 2px; padding-bottom: 2px; }";

// The accents of capitals (the dots of "Ü") reach above the font's ascent, where a label's
// top edge would cut them off: the label reaches a little higher, its text stays in place.
void make_room_for_accents(QLabel* label) {
    constexpr int kRoom = 2;
    label->setContentsMargins(0, kRoom, 0, 0);
    label->setGeometry(label->geometry().adjusted(0, -kRoom, 0, 0));
    label->setAttribute(Qt::WA_TransparentForMouseEvents); // clicks reach what lies below
}

// A label too small for its text (a plug-in's 199-byte progress text in the one-line status
// field, a 259-byte device name) ends in "..." when it has one line, and shows the whole text
// as its tooltip; only then does it take the mouse.
void show_label_text(QLabel* label, const QString& text) {
    const QFontMetrics metrics(label->font());
    const QRect area = label->contentsRect();
    const bool one_line = area.height() < 2 * metrics.lineSpacing();
    const bool fits =
        one_line ? metrics.horizontalAdvance(text) <= area.width()
                 : metrics.boundingRect(0, 0, area.width(), 0, Qt::TextWordWrap, text).height() <=
                       area.height();
    label->setText(fits || !one_line ? text
                                     : metrics.elidedText(text, Qt::ElideRight, area.width()));
    label->setToolTip(fits ? QString() : text);
    label->setAttribute(Qt::WA_TransparentForMouseEvents, fits);
}

class QtDialogWindow final : public QDialog, public DialogView {
  public:
    explicit QtDialogWindow(Dialog& dialog, QWidget* parent) : QDialog(parent), dialog_(dialog) {
        setObjectName("dialog-" + QString::number(dialog.template_id()));
        setWindowIcon(program_icon());
        // Dialog units: a quarter of the average character width, an eighth of the height.
        const QFontMetrics metrics(font());
        unit_x_ =
            metrics.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz") /
            52.0;
        unit_y_ = metrics.height();
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
        body_ = new QWidget(this);
        body_->setFixedSize(px(dialog.width(), true), px(dialog.height(), false));
        layout->addWidget(body_);
        // Group boxes first, so that the controls they frame lie above them.
        for (const Control& item : dialog.controls()) {
            if (item.kind == ControlKind::GroupBox) {
                make(item);
            }
        }
        for (const Control& item : dialog.controls()) {
            if (item.kind != ControlKind::GroupBox) {
                make(item);
            }
        }
        // Ctrl-C or SIGTERM (the end of the desktop session) is noted by the signal handler;
        // the window hears of it here, once.
        auto* stop_watch = new QTimer(this);
        connect(stop_watch, &QTimer::timeout, this, [this, stop_watch] {
            if (platform::stop_request_signal() != 0 && !dialog_.ended()) {
                stop_watch->stop();
                dialog_.stop_requested();
            }
        });
        stop_watch->start(100);
    }

    // Builds the system menu's entries (known after the dialog's set-up) as a menu.
    void make_menu() {
        if (dialog_.system_menu().empty()) {
            return;
        }
        auto* bar = new QMenuBar(this);
        QMenu* menu = bar->addMenu("?");
        menu->setObjectName("system-menu");
        for (const MenuItem& item : dialog_.system_menu()) {
            if (item.command == 0) {
                if (!menu->isEmpty()) {
                    menu->addSeparator();
                }
                continue;
            }
            QAction* action = menu->addAction(q(item.text));
            action->setObjectName("menu-" + QString::number(item.command));
            const int command = item.command;
            connect(action, &QAction::triggered, this,
                    [this, command] { dialog_.menu_command(command); });
        }
        static_cast<QVBoxLayout*>(this->layout())->setMenuBar(bar);
    }

    void sync_all() {
        for (const Control& item : dialog_.controls()) {
            control_changed(item.id);
        }
        title_changed();
    }

    // --- DialogView -------------------------------------------------------------------
    void control_changed(int id) override {
        const Control* item = dialog_.find(id);
        auto found = widgets_.find(id);
        if (item == nullptr || found == widgets_.end()) {
            return;
        }
        updating_ = true;
        apply(*item, found->second);
        updating_ = false;
    }
    void title_changed() override { setWindowTitle(q(dialog_.title())); }
    // Each dialog timer is a QTimer of this window, its period scaled as every protocol wait.
    void timers_changed() override {
        for (auto& [id, entry] : timers_) {
            if (dialog_.timers().count(id) == 0) {
                entry.timer->stop();
                entry.generation = 0;
            }
        }
        for (const auto& [id, setting] : dialog_.timers()) {
            TimerEntry& entry = timers_[id];
            if (entry.timer == nullptr) {
                entry.timer = new QTimer(this);
                const int timer_id = id;
                connect(entry.timer, &QTimer::timeout, this,
                        [this, timer_id] { dialog_.timer_elapsed(timer_id); });
            }
            if (entry.generation != setting.generation) {
                entry.generation = setting.generation;
                entry.timer->start(platform::scaled(setting.period_ms));
            }
        }
    }
    void focus(int id) override {
        if (auto found = widgets_.find(id); found != widgets_.end()) {
            found->second->setFocus();
        }
    }
    void dialog_ended(int result) override { QDialog::done(result); }
    int run_child(Dialog& child) override { return run_window(child, this); }
    void open_link(const std::string& target) override {
        QDesktopServices::openUrl(QUrl::fromUserInput(q(target)));
    }
    void run_on_dialog_thread(const std::function<void()>& task) override {
        run_on_gui_thread(task);
    }
    void pump_until(const std::function<bool()>& done) override { pump_gui_until(done); }

    static int run_window(Dialog& dialog, QWidget* parent) {
        QtDialogWindow window(dialog, parent);
        dialog.initialise(window);
        window.make_menu();
        window.sync_all();
        if (!dialog.ended()) {
            window.exec();
        }
        dialog.wait_for_worker();
        dialog.detach_view();
        return dialog.result();
    }

  protected:
    void reject() override { dialog_.escape(); } // Escape
    // Enter: the visible default button, as Qt does; without one the dialog's OK command.
    void keyPressEvent(QKeyEvent* event) override {
        const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
        if (enter && event->modifiers() == Qt::NoModifier) {
            for (const QPushButton* button : findChildren<QPushButton*>()) {
                if (button->isDefault() && button->isVisible()) {
                    QDialog::keyPressEvent(event);
                    return;
                }
            }
            dialog_.enter();
            return;
        }
        QDialog::keyPressEvent(event);
    }
    void closeEvent(QCloseEvent* event) override {
        if (!dialog_.ended()) {
            event->ignore();
            dialog_.close();
        }
    }

  private:
    int px(int units, bool horizontal) const {
        return static_cast<int>(units * (horizontal ? unit_x_ / 4.0 : unit_y_ / 8.0) + 0.5);
    }

    void make(const Control& item) {
        QWidget* widget = nullptr;
        const int id = item.id;
        switch (item.kind) {
        case ControlKind::GroupBox:
            widget = new QGroupBox(body_);
            break;
        case ControlKind::RadioButton: {
            auto* radio = new QRadioButton(body_);
            radio->setAutoExclusive(false);
            connect(radio, &QRadioButton::clicked, this, [this, id] { clicked(id); });
            widget = radio;
            break;
        }
        case ControlKind::CheckBox: {
            auto* box = new QCheckBox(body_);
            connect(box, &QCheckBox::clicked, this, [this, id] { clicked(id); });
            widget = box;
            break;
        }
        case ControlKind::Button: {
            auto* button = new QPushButton(body_);
            button->setDefault(item.default_button);
            button->setAutoDefault(item.default_button);
            connect(button, &QPushButton::clicked, this, [this, id] { clicked(id); });
            if (!item.picture.empty()) {
                const Rect& r = item.rect;
                make_picture_button(button, item, QSize(px(r.width, true), px(r.height, false)));
            }
            widget = button;
            break;
        }
        case ControlKind::Edit: {
            auto* edit = new QLineEdit(body_);
            edit->setReadOnly(item.read_only);
            connect(edit, &QLineEdit::textEdited, this, [this, id](const QString& text) {
                if (!updating_) {
                    dialog_.user_type(id, text.toStdString());
                }
            });
            widget = edit;
            break;
        }
        case ControlKind::DropDown: {
            auto* combo = new QComboBox(body_);
            connect(combo, &QComboBox::activated, this, [this, id](int row) {
                if (!updating_) {
                    dialog_.user_select(id, row);
                }
            });
            widget = combo;
            break;
        }
        case ControlKind::ListView: {
            auto* list = new QTreeWidget(body_);
            list->setRootIsDecorated(false);
            list->setSelectionBehavior(QAbstractItemView::SelectRows);
            list->setStyleSheet(kListLook);
            list->setItemDelegate(new FocusOnSelectedRows(list));
            list->header()->setSectionResizeMode(QHeaderView::Stretch);
            list->header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
            // A selected row, not the current one: focus alone makes a row current
            // without the user choosing it.
            connect(list, &QTreeWidget::itemSelectionChanged, this, [this, id, list] {
                const QList<QTreeWidgetItem*> selected = list->selectedItems();
                if (!updating_ && !selected.isEmpty()) {
                    dialog_.user_select(id, list->indexOfTopLevelItem(selected.front()));
                }
            });
            connect(list, &QTreeWidget::itemChanged, this,
                    [this, id, list](QTreeWidgetItem* changed) {
                        if (!updating_) {
                            dialog_.user_check_row(id, list->indexOfTopLevelItem(changed),
                                                   changed->checkState(0) == Qt::Checked);
                        }
                    });
            widget = list;
            break;
        }
        case ControlKind::Progress: {
            auto* bar = new QProgressBar(body_);
            bar->setRange(0, 100);
            bar->setTextVisible(false);
            widget = bar;
            break;
        }
        case ControlKind::Link: {
            auto* label = new QLabel(body_);
            label->setTextInteractionFlags(Qt::LinksAccessibleByMouse |
                                           Qt::LinksAccessibleByKeyboard);
            label->setCursor(Qt::PointingHandCursor);
            connect(label, &QLabel::linkActivated, this, [this, id] { clicked(id); });
            widget = label;
            break;
        }
        case ControlKind::Static: {
            auto* label = new QLabel(body_);
            label->setWordWrap(true);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            widget = label;
            break;
        }
        }
        widget->setObjectName("control-" + QString::number(id));
        const Rect& r = item.rect;
        widget->setGeometry(px(r.x, true), px(r.y, false), px(r.width, true), px(r.height, false));
        if (item.kind == ControlKind::Static) {
            make_room_for_accents(static_cast<QLabel*>(widget));
        }
        widgets_[id] = widget;
    }

    void clicked(int id) {
        dialog_.clicked(id);
        // A radio button or check box shows what the dialog decided, not Qt's own toggle.
        if (!dialog_.ended()) {
            control_changed(id);
        }
    }

    void apply(const Control& item, QWidget* widget) {
        widget->setEnabled(item.enabled);
        widget->setVisible(item.visible);
        const QString text = q(item.text);
        switch (item.kind) {
        case ControlKind::GroupBox:
            static_cast<QGroupBox*>(widget)->setTitle(text);
            break;
        case ControlKind::RadioButton:
        case ControlKind::CheckBox: {
            auto* button = static_cast<QAbstractButton*>(widget);
            button->setText(text);
            button->setChecked(item.checked);
            break;
        }
        case ControlKind::Button:
            if (item.picture.empty()) {
                static_cast<QPushButton*>(widget)->setText(text);
            } else {
                static_cast<QPushButton*>(widget)->setIconSize(widget->size() * 3 / 4);
            }
            break;
        case ControlKind::Edit: {
            auto* edit = static_cast<QLineEdit*>(widget);
            if (edit->text() != text) {
                edit->setText(text); // the cursor at the end: a long path shows its file name
            }
            break;
        }
        case ControlKind::DropDown: {
            auto* combo = static_cast<QComboBox*>(widget);
            combo->clear();
            for (const auto& row : item.rows) {
                combo->addItem(row.empty() ? QString() : q(row.front()));
            }
            combo->setCurrentIndex(item.selection);
            break;
        }
        case ControlKind::ListView:
            apply_list(item, static_cast<QTreeWidget*>(widget));
            break;
        case ControlKind::Progress:
            static_cast<QProgressBar*>(widget)->setValue(item.position);
            break;
        case ControlKind::Link:
            static_cast<QLabel*>(widget)->setText(
                "<a href=\"" + text.toHtmlEscaped() +
                "\" style=\"color:#0000ee; text-decoration:underline;\">" + text.toHtmlEscaped() +
                "</a>");
            break;
        case ControlKind::Static:
            show_label_text(static_cast<QLabel*>(widget), text);
            break;
        }
    }

    static void apply_list(const Control& item, QTreeWidget* list) {
        QStringList headers;
        for (const std::string& column : item.columns) {
            headers << q(column);
        }
        list->setColumnCount(static_cast<int>(headers.size()));
        list->setHeaderLabels(headers);
        if (item.bar_column >= 0 && list->itemDelegateForColumn(item.bar_column) == nullptr) {
            list->setItemDelegateForColumn(item.bar_column, new BarColumnDelegate(list));
            // Names keep their whole text, the bar a fixed width, the last column the rest.
            QHeaderView* header = list->header();
            const int last = list->columnCount() - 1;
            for (int c = 0; c <= last; ++c) {
                header->setSectionResizeMode(c, c == last ? QHeaderView::Stretch
                                                : c == item.bar_column
                                                    ? QHeaderView::Fixed
                                                    : QHeaderView::ResizeToContents);
            }
            if (item.bar_column != last)
                header->resizeSection(item.bar_column, kBarColumnWidth);
        }
        list->clear();
        for (std::size_t r = 0; r < item.rows.size(); ++r) {
            auto* row = new QTreeWidgetItem(list);
            for (std::size_t c = 0; c < item.rows[r].size(); ++c) {
                row->setText(static_cast<int>(c), q(item.rows[r][c]));
            }
            if (item.check_boxes) {
                row->setFlags(row->flags() | Qt::ItemIsUserCheckable);
                row->setCheckState(0, r < item.row_checked.size() && item.row_checked[r]
                                          ? Qt::Checked
                                          : Qt::Unchecked);
            }
        }
        if (item.selection >= 0) {
            list->setCurrentItem(list->topLevelItem(item.selection));
        }
    }

    struct TimerEntry {
        QTimer* timer = nullptr;
        std::uint64_t generation = 0;
    };

    Dialog& dialog_;
    QWidget* body_ = nullptr;
    std::map<int, TimerEntry> timers_;
    double unit_x_ = 6;
    double unit_y_ = 13;
    bool updating_ = false;
    std::map<int, QWidget*> widgets_;
};

class QtDialogRunner final : public DialogRunner {
  public:
    int run_modal(Dialog& dialog) override {
        return QtDialogWindow::run_window(dialog, QApplication::activeWindow());
    }
    void bring_to_front() override {
        QMetaObject::invokeMethod(qApp, [] {
            for (QWidget* window : QApplication::topLevelWidgets()) {
                if (window->isVisible() && window->objectName().startsWith("dialog-")) {
                    window->showNormal();
                    window->raise();
                    window->activateWindow();
                }
            }
        });
    }
};

} // namespace

std::shared_ptr<DialogRunner> make_qt_dialog_runner() {
    return std::make_shared<QtDialogRunner>();
}

} // namespace dialogs
