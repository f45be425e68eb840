#include "app/i18n/QtLanguage.h"

#include <QCoreApplication>
#include <QTranslator>
#include <memory>
#include <string>

#include "app/platform/UiText.h"

namespace lumatrace {

namespace {

// The translation is a resource of the program, so it is found wherever the
// program lies (build folder, installed tree, unpacked package).
constexpr char kEnglishTranslation[] = ":/i18n/lumatrace_en.qm";

struct Installed {
    std::unique_ptr<QTranslator> translator;
    Language language = Language::Japanese;
};

Installed& State() {
    static Installed state;
    return state;
}

}  // namespace

bool InstallLanguage(Language language) {
    Installed& state = State();
    if (state.translator) {
        QCoreApplication::removeTranslator(state.translator.get());
        state.translator.reset();
    }
    SetTextTranslator({});
    state.language = Language::Japanese;
    if (language == Language::Japanese) {
        return true;
    }
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(QString::fromLatin1(kEnglishTranslation))) {
        return false;
    }
    QCoreApplication::installTranslator(translator.get());
    state.translator = std::move(translator);
    state.language = language;
    SetTextTranslator([](const char* context, const char* text) {
        return QCoreApplication::translate(context, text).toStdString();
    });
    return true;
}

Language InstalledLanguage() {
    return State().language;
}

QString TrText(const char* context, std::string_view text) {
    return QCoreApplication::translate(context, std::string(text).c_str());
}

}  // namespace lumatrace
