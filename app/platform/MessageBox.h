#pragma once

#include <string>
#include <string_view>

namespace lumatrace {

enum class MessageIcon { None, Information, Warning, Error, Question };
enum class MessageButtons {
    Ok,
    OkCancel,
    YesNo,
    YesNoCancel,
    YesNoDefaultNo,  // Yes and No with No as the default: questions about overwriting
};
enum class MessageButton { Ok, Cancel, Yes, No };

// Every message box of the program goes through this, so tests capture the
// messages instead of blocking on them. Texts are UTF-8; "\r\n" separates
// lines as in the program's message texts.
class MessageBoxService {
  public:
    virtual ~MessageBoxService() = default;
    // Shows the box modally and returns the button that closed it.
    virtual MessageButton Show(MessageIcon icon, std::string_view title, std::string_view text,
                               MessageButtons buttons = MessageButtons::Ok) = 0;
};

}  // namespace lumatrace
