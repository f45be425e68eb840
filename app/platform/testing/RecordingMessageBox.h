#pragma once

#include <deque>
#include <string>
#include <vector>

#include "app/platform/MessageBox.h"

namespace lumatrace::testing {

// Records every message box instead of showing it, and answers with the
// queued buttons (when none is queued: Ok, or Yes, or No where No is the
// default).
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
        switch (buttons) {
            case MessageButtons::Ok:
            case MessageButtons::OkCancel:
                return MessageButton::Ok;
            case MessageButtons::YesNoDefaultNo:
                return MessageButton::No;
            default:
                return MessageButton::Yes;
        }
    }
};

}  // namespace lumatrace::testing
