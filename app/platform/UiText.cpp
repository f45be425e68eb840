#include "app/platform/UiText.h"

#include <utility>

namespace lumatrace {

namespace {

TextTranslator& Installed() {
    static TextTranslator translator;
    return translator;
}

}  // namespace

void SetTextTranslator(TextTranslator translator) {
    Installed() = std::move(translator);
}

std::string UiText(const char* context, std::string_view text) {
    const TextTranslator& translator = Installed();
    if (!translator) {
        return std::string(text);
    }
    return translator(context, std::string(text).c_str());
}

}  // namespace lumatrace
