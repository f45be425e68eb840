// The main window in its two languages: Japanese, the program's own texts,
// whatever the locale; English when the translation is installed before the
// window is built; the same bytes in every file either way; and the language
// item of the options menu, which keeps the choice in the preferences file.
#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QRadioButton>
#include <QToolBar>
#include <QToolButton>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/core/tests/FormMainFixture.h"
#include "app/i18n/Language.h"
#include "app/i18n/QtLanguage.h"
#include "app/settings/WallClock.h"

namespace lumatrace {
namespace {

namespace fs = std::filesystem;

std::string ReadBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

FileDialogResult Chosen(const fs::path& path, int filterIndex) {
    return FileDialogResult{path.string(), filterIndex};
}

struct FixedClock final : WallClock {
    LocalDateTime Now() override { return {2024, 5, 6, 7, 8, 9}; }
};

std::vector<std::string> MenuTitles(const TFormMain& form) {
    std::vector<std::string> titles;
    for (QAction* a : form.MainMenu1->actions()) {
        titles.push_back(a->text().toStdString());
    }
    return titles;
}

// Captions and buttons given less room than their text needs, and tool bar
// buttons that did not find room on their bar, with the window at its
// smallest (its captions are widest there compared with the room they have)
// and on each page of the panel.
std::vector<std::string> CutOff(TFormMain& form) {
    std::vector<std::string> cut;
    const auto check = [&](const std::string& where) {
        for (QWidget* w : form.findChildren<QWidget*>()) {
            if (!w->isVisibleTo(&form)) {
                continue;
            }
            QString text;
            int need = 0;
            if (const auto* tool = qobject_cast<QToolButton*>(w)) {
                // A tool button's hint holds the style's margins too: the
                // caption itself must fit.
                text = tool->text();
                need = tool->fontMetrics().horizontalAdvance(QString(text).remove('&')) + 2;
            } else if (const auto* label = qobject_cast<QLabel*>(w)) {
                text = label->text();
                need = w->sizeHint().width();
            } else if (const auto* button = qobject_cast<QAbstractButton*>(w)) {
                text = button->text();
                need = w->sizeHint().width();
            }
            if (text.isEmpty() || need <= w->width()) {
                continue;
            }
            cut.push_back(where + w->objectName().toStdString() + " \"" + text.toStdString() +
                          "\" " + std::to_string(w->width()) + " < " + std::to_string(need));
        }
        for (QToolBar* bar : {form.ToolBarBtn, form.ToolBarExec}) {
            for (QAction* action : bar->actions()) {
                if (action->isSeparator()) {
                    continue;
                }
                QWidget* button = bar->widgetForAction(action);
                const QRect inBar = button ? button->geometry() : QRect();
                const QRect onPanel(bar->mapTo(form.PanelToolBar, inBar.topLeft()), inBar.size());
                if (!button || !button->isVisibleTo(bar) ||
                    !form.PanelToolBar->rect().contains(onPanel)) {
                    cut.push_back(where + "tool bar: " + action->objectName().toStdString());
                }
            }
        }
    };
    form.resize(form.minimumSize());
    for (int page = 0; page < 3; ++page) {
        form.PageControlBtn->setCurrentIndex(page);
        QCoreApplication::processEvents();
        check("page " + std::to_string(page + 1) + ": ");
    }
    form.PageControlBtn->setCurrentIndex(0);
    return cut;
}

// Keyboard accelerators that two visible items of one menu share (the menu
// bar counting as a menu), as "menu: letter".
std::vector<std::string> SharedAccelerators(const QList<QAction*>& items, const QString& where) {
    std::vector<std::string> shared;
    QString seen;
    for (QAction* item : items) {
        if (!item->isVisible() || item->isSeparator()) {
            continue;
        }
        const QString text = item->text();
        for (qsizetype i = text.indexOf('&'); i >= 0 && i + 1 < text.size();
             i = text.indexOf('&', i + 2)) {
            if (text[i + 1] == '&') {
                continue;
            }
            const QChar key = text[i + 1].toLower();
            if (seen.contains(key)) {
                shared.push_back(where.toStdString() + ": " + QString(key).toStdString());
            }
            seen += key;
            break;
        }
        if (QMenu* sub = item->menu()) {
            const auto inner = SharedAccelerators(sub->actions(), text);
            shared.insert(shared.end(), inner.begin(), inner.end());
        }
    }
    return shared;
}

struct LanguageWindow : FormMainTest {
    FixedClock clock;
    LanguageWindow() { wallClock = &clock; }
    void TearDown() override {
        FormMainTest::TearDown();
        InstallLanguage(Language::Japanese);
    }
    fs::path PreferencesPath() const { return appData / "ORVEX" / "ZEP-9100" / "Lumatrace.ini"; }
};

// The texts of a window built with no language chosen are the program's own
// Japanese, as they were before there was a translation.
TEST_F(LanguageWindow, WithoutAChoiceTheWindowIsJapanese) {
    Start("seed = 41");
    EXPECT_EQ(MenuTitles(*form),
              (std::vector<std::string>{"ファイル(&F)", "実行(&X)", "設定(&S)", "表示(&V)",
                                        "オプション(&O)", "ヘルプ(&H)"}));
    EXPECT_EQ(form->A_Open->text().toStdString(), "開く(&O)...");
    EXPECT_EQ(form->A_Setup->toolTip().toStdString(), "表示色変更");
    EXPECT_EQ(form->A_Grid->iconText().toStdString(), "グリッド");
    EXPECT_EQ(form->RdBtnUnder->text().toStdString(), "未満");
    EXPECT_EQ(form->RdBtnAbove->text().toStdString(), "以上");
    EXPECT_EQ(form->ComboBoxVd1->toolTip().toStdString(), "CH1垂直軸スケール設定");
    EXPECT_EQ(form->MenuItem("M_Dt")->text().toStdString(), "Δ&T カーソル");
    EXPECT_EQ(form->MenuItem("M_Version")->text().toStdString(), "バージョン情報(&V)...");
    QMenu* language = form->findChild<QMenu*>("M_Language");
    ASSERT_NE(language, nullptr);
    EXPECT_EQ(language->title().toStdString(), "言語(&L)");
    EXPECT_TRUE(form->findChild<QAction*>("M_Lang_ja")->isChecked());
    EXPECT_FALSE(form->findChild<QAction*>("M_Lang_en")->isChecked());
    EXPECT_EQ(CutOff(*form), std::vector<std::string>{});

    dialogs.answers.push_back(Chosen(appData / "missing.zep", 1));
    dialogs.answers.push_back(std::nullopt);
    form->A_Open->trigger();
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].title, "ファイルを開く");
    EXPECT_EQ(messages.shown[0].text, (appData / "missing.zep").string() +
                                          "\r\nファイルが見つかりません。\r\n"
                                          "指定したファイル名が正しいかどうか確認してください。");
}

// The panel, its menus and its boxes in English.
TEST_F(LanguageWindow, TheEnglishWindow) {
    ASSERT_TRUE(InstallLanguage(Language::English));
    Start("seed = 42");
    EXPECT_EQ(MenuTitles(*form), (std::vector<std::string>{"&File", "E&xecute", "&Settings",
                                                           "&View", "&Options", "&Help"}));
    EXPECT_EQ(form->A_Open->text().toStdString(), "&Open...");
    EXPECT_EQ(form->A_Setup->text().toStdString(), "Display &Colours...");
    EXPECT_EQ(form->A_Grid->iconText().toStdString(), "Grid");
    EXPECT_EQ(form->RdBtnUnder->text().toStdString(), "Under");
    EXPECT_EQ(form->RdBtnAbove->text().toStdString(), "Over");
    EXPECT_EQ(form->ComboBoxVd1->toolTip().toStdString(), "CH1 vertical scale");
    EXPECT_EQ(form->MenuItem("M_Dt")->text().toStdString(), "Δ&T Cursor");
    EXPECT_EQ(form->MenuItem("M_Exit")->text().toStdString(), "E&xit");
    EXPECT_EQ(form->findChild<QAction*>("M_Measure")->text().toStdString(), "M&easure");
    // Captions that were English stay as they were.
    EXPECT_EQ(form->A_Auto->text().toStdString(), "&Auto");
    EXPECT_EQ(form->MenuItem("M_Trig")->text().toStdString(), "&TRIGGER");
    QMenu* language = form->findChild<QMenu*>("M_Language");
    ASSERT_NE(language, nullptr);
    EXPECT_EQ(language->title().toStdString(), "&Language");
    EXPECT_TRUE(form->findChild<QAction*>("M_Lang_en")->isChecked());
    EXPECT_EQ(CutOff(*form), std::vector<std::string>{});
    EXPECT_EQ(SharedAccelerators(form->MainMenu1->actions(), "menu bar"),
              std::vector<std::string>{});

    dialogs.answers.push_back(Chosen(appData / "missing.zep", 1));
    dialogs.answers.push_back(std::nullopt);
    form->A_Open->trigger();
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].title, "Open File");
    EXPECT_EQ(messages.shown[0].text, (appData / "missing.zep").string() +
                                          "\r\nFile not found.\r\n"
                                          "Check that the file name is correct.");
}

// A waveform set, a picture and the parameter file: the same bytes whether
// the program shows Japanese or English.
TEST_F(LanguageWindow, FilesAreTheSameInBothLanguages) {
    Start("seed = 43");
    form->CheckBoxPulse->click();
    form->RdBtnAbove->click();
    Pick(form->ComboBoxCup2, kCouplingGnd);
    form->A_Single->trigger();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return Stopped() && form->Acquisition().dataValid; }, kWaitMs));
    const auto save = [&](const fs::path& folder) {
        fs::create_directories(folder);
        dialogs.answers.push_back(Chosen(folder / "set.zep", 1));
        form->A_Save->trigger();
        dialogs.answers.push_back(Chosen(folder / "picture.bmp", 2));
        form->A_Save->trigger();
        ASSERT_TRUE(messages.shown.empty()) << messages.shown.front().text;
    };
    save(appData / "ja");
    ASSERT_TRUE(InstallLanguage(Language::English));
    save(appData / "en");
    for (const fs::path& file :
         {fs::path("set.zep"), fs::path("zep_set") / "set_0.csv", fs::path("picture.bmp")}) {
        const std::string japanese = ReadBytes(appData / "ja" / file);
        ASSERT_FALSE(japanese.empty()) << file;
        EXPECT_TRUE(japanese == ReadBytes(appData / "en" / file)) << file;
    }

    // The parameter file of a close in English is the one of a close in Japanese.
    InstallLanguage(Language::Japanese);
    Restart();
    form->close();
    const std::string japanese = ReadBytes(ParamFile());
    ASSERT_FALSE(japanese.empty());
    form.reset();
    ASSERT_TRUE(InstallLanguage(Language::English));
    Launch();
    form->close();
    EXPECT_TRUE(ReadBytes(ParamFile()) == japanese);
    // Showing English is no choice to keep.
    EXPECT_FALSE(fs::exists(PreferencesPath()));
}

// The language item keeps the choice in the program's own file, tells that it
// takes effect at the next start, and leaves the parameter file alone.
TEST_F(LanguageWindow, TheLanguageItemKeepsTheChoiceForTheNextStart) {
    Start("seed = 44");
    form->close();
    const std::string parameters = ReadBytes(ParamFile());
    form.reset();
    Launch();
    QAction* english = form->findChild<QAction*>("M_Lang_en");
    ASSERT_NE(english, nullptr);
    english->trigger();
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].icon, MessageIcon::Information);
    EXPECT_EQ(messages.shown[0].text, "表示言語の変更は次回の起動から有効になります。");
    EXPECT_EQ(ReadBytes(PreferencesPath()), "language=en\n");
    EXPECT_TRUE(english->isChecked());
    // The window stays Japanese until then.
    EXPECT_EQ(form->A_Open->text().toStdString(), "開く(&O)...");

    // Back to the language on show: kept, nothing to tell.
    messages.shown.clear();
    form->findChild<QAction*>("M_Lang_ja")->trigger();
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(ReadBytes(PreferencesPath()), "language=ja\n");
    form->close();
    EXPECT_TRUE(ReadBytes(ParamFile()) == parameters);
}

}  // namespace
}  // namespace lumatrace
