#pragma once
// Qt 6 Widgets for the dialogs and the user-interface port, when there is a display.
// No Qt type appears here, so that programs include it without the toolkit's headers.
#include <memory>
#include <string>

namespace dialogs {

// True when the toolkit serves: a display is there (DISPLAY or WAYLAND_DISPLAY, or
// QT_QPA_PLATFORM names a platform plug-in) and MORLIN_UI is not "console".
bool qt_wanted();

// While it lives: the application object of the toolkit, the Qt dialog runner and the Qt
// user-interface port are installed; destruction puts the console ones back.
class QtToolkit {
  public:
    QtToolkit(int& argc, char** argv);
    ~QtToolkit();
    QtToolkit(const QtToolkit&) = delete;
    QtToolkit& operator=(const QtToolkit&) = delete;

    // The toolkit's own texts (the buttons of message boxes, the file dialogs) in the language
    // of `locale_name` ("de_DE"); empty: the user's locale, which the toolkit takes at its
    // start. Without Qt's translations for that language the texts stay English.
    void use_language(const std::string& locale_name);

  private:
    struct State;
    std::unique_ptr<State> state_;
};

// A QtToolkit when qt_wanted(), else null (the console serves).
std::unique_ptr<QtToolkit> start_qt_if_wanted(int& argc, char** argv);

} // namespace dialogs
