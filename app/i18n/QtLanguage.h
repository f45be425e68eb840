// The Qt side of the program's language: the English translation, built from
// lumatrace_en.ts and embedded in the program, installed for the whole
// application so that tr()/translate() and UiText() show English.
#pragma once

#include <QString>
#include <string_view>

#include "app/i18n/Language.h"

namespace lumatrace {

// Installs the translator of `language` (removing one installed before);
// Japanese needs none. False when the English translation cannot be loaded,
// which leaves the program in Japanese. Needs a QCoreApplication.
bool InstallLanguage(Language language);

// The language installed last (Japanese before any).
Language InstalledLanguage();

// A text of the program's tables, translated in `context` (see UiText.h).
// `text` must end in a NUL.
QString TrText(const char* context, std::string_view text);

}  // namespace lumatrace
