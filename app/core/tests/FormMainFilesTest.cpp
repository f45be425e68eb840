// The file commands of the main window on the virtual instrument: a set saved
// and opened again, pictures of the screen, the dialogs' refusals.
#include <QAction>
#include <QCheckBox>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <vector>

#include "app/core/tests/FormMainFixture.h"
#include "app/display/WaveBuffers.h"
#include "app/files/WaveformFiles.h"
#include "app/platform/FileStore.h"
#include "app/settings/FormSetup.h"

namespace lumatrace {
namespace {

FileDialogResult Chosen(const std::filesystem::path& path, int filterIndex = 1) {
    return FileDialogResult{path.string(), filterIndex};
}

TEST_F(FormMainTest, SavedSetOpensAgainWithItsSettingsAndRecord) {
    Start("seed = 21");
    Pick(form->ComboBoxCup2, kCouplingGnd);  // a flat CH2 in the record
    form->A_Single->trigger();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return Stopped() && form->Acquisition().dataValid; }, kWaitMs));
    const int points = form->Settings().memoryPoints;
    const std::vector<SampleWord> saved(WaveBuffer.begin(), WaveBuffer.begin() + points);
    const int vd1 = form->ComboBoxVd1->currentIndex();
    form->Settings().cursorT1 = 123;

    // Typed as shot.bmp with the waveform filter: saved as shot.zep.
    dialogs.answers.push_back(Chosen(appData / "shot.bmp", 1));
    form->A_Save->trigger();
    ASSERT_TRUE(std::filesystem::exists(appData / "shot.zep"));
    EXPECT_TRUE(std::filesystem::exists(WaveformSetCsvFile(appData / "shot.zep", 0)));
    EXPECT_TRUE(messages.shown.empty());

    // Everything changes, then the set comes back.
    Pick(form->ComboBoxCup2, 0);
    Pick(form->ComboBoxVd1, vd1 + 3);
    form->Settings().cursorT1 = 300;
    ClearRecord(WaveBuffer);
    dialogs.answers.push_back(Chosen(appData / "shot", 1));  // the extension is added
    form->A_Open->trigger();
    EXPECT_TRUE(messages.shown.empty()) << messages.shown.front().text;
    EXPECT_EQ(form->windowTitle().toStdString(), "Lumatrace - " + (appData / "shot.zep").string());
    EXPECT_EQ(form->ComboBoxCup2->currentIndex(), kCouplingGnd);
    EXPECT_EQ(form->Settings().displayCoupling[1], kCouplingGnd);
    EXPECT_EQ(form->ComboBoxVd1->currentIndex(), vd1);
    EXPECT_EQ(form->Settings().cursorT1, 123);
    EXPECT_TRUE(form->Acquisition().dataValid);
    const auto differs = std::mismatch(saved.begin(), saved.end(), WaveBuffer.begin());
    EXPECT_EQ(differs.first, saved.end())
        << std::hex << "at " << (differs.first - saved.begin()) << ": saved " << *differs.first
        << ", read " << *differs.second;
    EXPECT_EQ(WaveBuffer[static_cast<std::size_t>(points)], NoSample);
}

// The record buffers start zero-filled; start-up clears the record on show,
// so a set that does not hold the first samples (its index lacks the file
// that clears the record) shows them as missing, never as code 0.
TEST_F(FormMainTest, SamplesASetDoesNotHoldStayMissing) {
    std::fill(WaveBuffer.begin(), WaveBuffer.end(), SampleWord{0});
    Start("seed = 24");
    EXPECT_EQ(std::count(WaveBuffer.begin(), WaveBuffer.end(), NoSample),
              static_cast<std::ptrdiff_t>(WaveBuffer.size()));

    WaveformFileSettings s;
    s.memorySizeIndex = 1;
    s.memoryPoints = 20000;
    std::vector<SampleWord> record(kRecordWords, NoSample);
    for (int i = 0; i < 20000; ++i) {
        record[static_cast<std::size_t>(i)] = MakeSampleWord(i % 1024, (i * 7) % 1024);
    }
    const std::filesystem::path set = appData / "second.zep";
    LocalFileStore files;
    ASSERT_EQ(SaveWaveformFile(files, messages, set, s, record, "2026/12/10"), SaveResult::Saved);
    std::vector<std::uint8_t> index;
    ASSERT_TRUE(files.ReadAll(set, index).ok());
    const std::string first = "zep_second\\second_0.csv,0\r\n";
    std::string text(index.begin(), index.end());
    ASSERT_NE(text.find(first), std::string::npos) << text;
    text.erase(text.find(first), first.size());
    ASSERT_TRUE(
        files
            .WriteAtomically(set, {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()})
            .ok());

    dialogs.answers.push_back(Chosen(set));
    form->A_Open->trigger();
    EXPECT_TRUE(messages.shown.empty()) << messages.shown.front().text;
    EXPECT_TRUE(form->Acquisition().dataValid);
    EXPECT_EQ(form->Settings().memoryPoints, 100000);
    EXPECT_EQ(std::count(WaveBuffer.begin(), WaveBuffer.begin() + 10000, NoSample), 10000);
    EXPECT_TRUE(
        std::equal(WaveBuffer.begin() + 10000, WaveBuffer.begin() + 20000, record.begin() + 10000));
    EXPECT_EQ(std::count(WaveBuffer.begin() + 20000, WaveBuffer.end(), NoSample),
              static_cast<std::ptrdiff_t>(WaveBuffer.size() - 20000));
}

TEST_F(FormMainTest, OpenRefusesMissingAndBrokenSets) {
    Start("seed = 22");
    // A missing file keeps the dialog open with an empty name.
    dialogs.answers.push_back(Chosen(appData / "missing.zep"));
    dialogs.answers.push_back(std::nullopt);
    form->A_Open->trigger();
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].title, "ファイルを開く");
    ASSERT_EQ(dialogs.opened.size(), 2u);
    EXPECT_TRUE(dialogs.opened[1].fileName.empty());

    // An index file that is not one: the program stays as it was, the title too.
    messages.shown.clear();
    const std::filesystem::path bad = appData / "bad.zep";
    std::FILE* f = std::fopen(bad.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("not an index\r\n", f);
    std::fclose(f);
    dialogs.answers.push_back(Chosen(bad));
    form->A_Open->trigger();
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].icon, MessageIcon::Error);
    EXPECT_EQ(messages.shown[0].title, "ファイルを開く");
    EXPECT_EQ(form->windowTitle(), "Lumatrace");
    EXPECT_FALSE(form->FileLoading());
}

TEST_F(FormMainTest, PicturesOfTheScreenDecodeToTheComposedSize) {
    Start("seed = 23");
    form->A_Single->trigger();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return Stopped() && form->Acquisition().dataValid; }, kWaitMs));
    dialogs.answers.push_back(Chosen(appData / "screen", 2));
    dialogs.answers.push_back(Chosen(appData / "screen.png", 3));  // becomes screen.jpg
    form->A_Save->trigger();
    form->A_Save->trigger();
    EXPECT_TRUE(messages.shown.empty());
    const QImage bmp(QString::fromStdString((appData / "screen.bmp").string()));
    const QImage jpg(QString::fromStdString((appData / "screen.jpg").string()));
    ASSERT_FALSE(bmp.isNull());
    ASSERT_FALSE(jpg.isNull());
    EXPECT_EQ(bmp.size(), jpg.size());
    // The picture holds the graticule and a caption block under it.
    EXPECT_GT(bmp.width(), form->WavePicture().width());
    EXPECT_GT(bmp.height(), form->WavePicture().height());
    // Saving over the picture asks first; No keeps it and returns to the dialog.
    messages.answers.push_back(MessageButton::No);
    dialogs.answers.push_back(Chosen(appData / "screen.bmp", 2));
    const auto before = std::filesystem::last_write_time(appData / "screen.bmp");
    form->A_Save->trigger();
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].buttons, MessageButtons::YesNoDefaultNo);
    EXPECT_EQ(std::filesystem::last_write_time(appData / "screen.bmp"), before);
}

TEST_F(FormMainTest, ColourDialogRecoloursTheTraces) {
    Start("seed = 24");
    // OK without a change leaves the colours; the dialog's own behaviour has its own tests.
    const std::uint32_t ch1 = form->Settings().DisplayColor(0);
    QTimer::singleShot(0, form.get(), [&] {
        auto* dialog = form->findChild<TFormSetup*>();
        ASSERT_NE(dialog, nullptr);
        colors.answers.push_back(0x00FF00);  // lime
        QTest::mouseClick(dialog->PanelCh1, Qt::LeftButton);
        dialog->ButtonOk->click();
    });
    form->A_Setup->trigger();
    EXPECT_NE(form->Settings().DisplayColor(0), ch1);
    EXPECT_EQ(form->Settings().DisplayColor(0), 0x00FF00u);
}

}  // namespace
}  // namespace lumatrace
