// The language of the texts the program shows. The Japanese texts written in
// the code are the program's own and its default; when a translator is
// installed (the Qt side installs one for English), the texts shown on screen
// are looked up through it. Texts written into files never come through here,
// so files keep the same bytes in every language.
//
// Both spellings below are read by the translation tools (lupdate), so every
// text marked with them is listed in the translation file with its context.
#pragma once

#include <functional>
#include <string>
#include <string_view>

// Marks a text in a table for translation; the text itself is left as it is
// and translated where it is shown, with UiText and the same context.
#define UI_TEXT_NOOP(context, text) text

namespace lumatrace {

// Context and Japanese text in, the text to show out.
using TextTranslator = std::function<std::string(const char* context, const char* text)>;

// Installs the translator of the whole program (an empty one: Japanese).
void SetTextTranslator(TextTranslator translator);

// The text to show for a Japanese text of the program: the text itself unless
// a translator is installed and knows it. `text` must end in a NUL (literals
// and views of them do).
std::string UiText(const char* context, std::string_view text);

}  // namespace lumatrace
