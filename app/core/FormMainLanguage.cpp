// The language item of the オプション(O) menu: 日本語 or English, each named in
// its own language, the checked one being the language chosen. The choice is
// kept in the program's preferences file (never in the parameter file) and
// takes effect at the next start: the window's texts are set once as it is
// built, from the same tables that name its controls.
#include <QAction>
#include <QActionGroup>
#include <QCoreApplication>
#include <QMenu>

#include "app/core/FormMain.h"
#include "app/i18n/Language.h"
#include "app/i18n/QtLanguage.h"
#include "app/platform/SettingsFolder.h"

namespace lumatrace {

void TFormMain::CreateLanguageMenu() {
    QMenu* option = findChild<QMenu*>("M_Option");
    if (!option) {
        return;
    }
    QMenu* menu = option->addMenu(QCoreApplication::translate("Menu", "言語(&L)"));
    menu->setObjectName("M_Language");
    menu->menuAction()->setObjectName("M_Language");
    auto* group = new QActionGroup(menu);
    group->setExclusive(true);
    const Language shown = InstalledLanguage();
    const auto add = [&](const char* name, const QString& caption, Language language) {
        QAction* item = menu->addAction(caption);
        item->setObjectName(name);
        item->setCheckable(true);
        item->setChecked(language == shown);
        group->addAction(item);
        connect(item, &QAction::triggered, this, [this, language] { SelectLanguage(language); });
    };
    add("M_Lang_ja", QStringLiteral("日本語"), Language::Japanese);
    add("M_Lang_en", QStringLiteral("English"), Language::English);
}

void TFormMain::SelectLanguage(Language language) {
    const auto file = PreferencesFile(ProcessEnvironment());
    if (!file || !services_.files) {
        return;
    }
    PreferencesRead read = LoadPreferences(*services_.files, *file);
    read.preferences.language = language;
    const FileStatus saved = SavePreferences(*services_.files, *file, read.preferences);
    if (!saved.ok()) {
        Messages().Show(MessageIcon::Error, "Lumatrace",
                        QCoreApplication::translate("Menu", "設定ファイルに書き込めません。\r\n")
                                .toStdString() +
                            file->string());
        return;
    }
    if (language != InstalledLanguage()) {
        Messages().Show(
            MessageIcon::Information, "Lumatrace",
            QCoreApplication::translate("Menu", "表示言語の変更は次回の起動から有効になります。")
                .toStdString());
    }
}

}  // namespace lumatrace
