#pragma once

#include <deque>
#include <string>
#include <vector>

#include "app/platform/MessageBox.h"

namespace lumatrace::testing {

// Records every message box instead of showing it, and answers with the
// queued buttons (Ok, or the first button of the set, when none is queued).
class RecordingMessageBox final : public MessageBoxService {
  public:
    struct Shown {
        MessageIcon icon;
        std::string title;
        std::string text;
        MessageButtons buttons;
    };
    std::vector<Shown> shown;
    std::deque<MessageButton> answers;

    MessageButton Show(MessageIcon icon, std::string_view title, std::string_view text,
                       MessageButtons buttons = MessageButtons::Ok) override {
        shown.push_back({icon, std::string(title), std::string(text), buttons});
        if (!answers.empty()) {
            const MessageButton b = answers.front();
            answers.pop_front();
            return b;
        }
        return buttons == MessageButtons::Ok || buttons == MessageButtons::OkCancel
                   ? MessageButton::Ok
                   : MessageButton::Yes;
    }
};

}  // namespace lumatrace::testing
