// Every message box of the program goes through here, so that tests can answer them without a user.
// UI thread only.
#pragma once

#include <functional>
#include <string>

class QWidget;

namespace tq9 {

class CMessageBox {
public:
    enum class Buttons { Ok, OkCancel };
    enum class Answer { Ok, Cancel };

    // Shows text with an OK (or OK and Cancel) button, modal to owner. An empty caption means the
    // application name (IDS_APP_NAME).
    static Answer Show(QWidget* owner, const std::string& text, const std::string& caption = {},
                       Buttons buttons = Buttons::Ok);
    // Shorthand for a catalogue text with the application name as caption.
    static Answer ShowId(QWidget* owner, int stringId, Buttons buttons = Buttons::Ok);

    // Replaces the real box (tests). The hook receives the resolved caption. An empty hook restores it.
    using Hook = std::function<Answer(QWidget* owner, const std::string& text, const std::string& caption,
                                      Buttons buttons)>;
    static void SetHook(Hook hook);
};

} // namespace tq9
