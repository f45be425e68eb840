// The parameter file between the control panel and the file store: a form's
// state written and read into a fresh form, the files of the earlier program
// generations, damaged files and failed writes.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QRadioButton>

#include "app/platform/testing/FakeFileStore.h"
#include "app/platform/testing/RecordingMessageBox.h"
#include "app/settings/FormPrm.h"
#include "app/settings/FormSub.h"
#include "app/settings/tests/ParamFileTestData.h"
#include "tools/zeptool/Zeptool.h"

namespace lumatrace {
namespace {

namespace fs = std::filesystem;
using testdata::Bytes;

// Every saved control, described from the widget itself.
std::string Describe(const TFormSub& form, const char* name) {
    QObject* o = form.findChild<QObject*>(QString::fromUtf8(name));
    if (auto* list = qobject_cast<QComboBox*>(o)) {
        std::string s;
        for (int i = 0; i < list->count(); ++i) {
            s += list->itemText(i).toStdString() + "|";
        }
        return s + "#" + std::to_string(list->currentIndex());
    }
    if (auto* button = qobject_cast<SpeedButton*>(o)) {
        return std::string(button->isDown() ? "down" : "up") + " colour " +
               std::to_string(button->captionColor());
    }
    if (auto* radio = qobject_cast<QRadioButton*>(o)) {
        return radio->isChecked() ? "checked" : "unchecked";
    }
    if (qobject_cast<QFrame*>(o) != nullptr) {
        return "frame";
    }
    return "missing";
}

WindowRect Bounds(const TFormSub& form) {
    return form.WindowBounds(form.FrameExtent());
}
void Place(TFormSub& form, const WindowRect& bounds) {
    form.PlaceWindow(bounds, form.FrameExtent());
}

// Header-side state, compared field by field.
struct HeaderState {
    std::array<std::uint32_t, 10> colors{};
    std::array<int, 10> positions{};
    std::array<bool, 8> flags{};
    bool showHint = false;
    long double trigLevelOffset = 0;
    std::array<int, 2> trigCouplingBySource{};
    int trigDelay = 0;
    int pulseWidth = 0;
    int acquireCountIndex = 0;
    int acquireCountReserved = 0;
    std::array<int, 2> fftVScaleIndex{};
    std::array<int, 2> fftPositionByType{};

    bool operator==(const HeaderState&) const = default;
};

HeaderState HeaderOf(const TFormSub& f) {
    HeaderState h;
    for (int i = 0; i < 10; ++i) {
        h.colors[static_cast<std::size_t>(i)] = f.GetDisplayColor(i);
        h.positions[static_cast<std::size_t>(i)] = f.GetItemPosition(i);
    }
    h.flags = {f.A_Scale->isChecked(),       f.A_Grid->isChecked(),
               f.A_XY->isChecked(),          f.MenuItem("M_Hint")->isChecked(),
               f.CheckBoxDelay->isChecked(), f.CheckBoxPulse->isChecked(),
               f.CheckBoxEqu->isChecked(),   f.CheckBoxRoll->isChecked()};
    h.showHint = f.ShowHint();
    const InstrumentSettings& s = f.Settings();
    h.trigLevelOffset = s.trigLevelOffset;
    h.trigCouplingBySource = s.trigCouplingBySource;
    h.trigDelay = s.trigDelay;
    h.pulseWidth = s.pulseWidth;
    h.acquireCountIndex = s.acquireCountIndex;
    h.acquireCountReserved = s.acquireCountReserved;
    h.fftVScaleIndex = s.fftVScaleIndex;
    h.fftPositionByType = s.fftPositionByType;
    return h;
}

class SettingsParamForm : public ::testing::Test {
  protected:
    const fs::path folder_ = "/home/user/.config/ORVEX/ZEP-9100";
    const fs::path file_ = folder_ / "Zep9100.prm";
    WorkArea area_{0, 0, 1920, 1040};
    testing::FakeFileStore files_;
    testing::RecordingMessageBox messages_;

    std::unique_ptr<TFormSub> NewForm(bool native = true) {
        FormServices services;
        services.messages = &messages_;
        services.programFolder = "/opt/lumatrace";
        services.workArea = [this] { return area_; };
        auto form = std::make_unique<TFormSub>(std::move(services));
        if (native) {
            form->winId();  // the window system's frame is known from here on
        }
        return form;
    }
    std::unique_ptr<TFormPrm> NewPrm(TFormSub& form) {
        ParamFormServices services;
        services.files = &files_;
        services.folder = folder_;
        return std::make_unique<TFormPrm>(form, services);
    }

    // A state far from the defaults in every saved control and header field.
    static void Customise(TFormSub& f) {
        f.ApplyDefaults();
        f.ComboBoxVd1->setCurrentIndex(6);
        f.Panel().List(PanelList::Vd2) = {{"1V", "2V", "5V", "10V", "20V", "50V", "100V", "200V"},
                                          7};
        f.ComboBoxPb1->setCurrentIndex(0);
        f.ComboBoxPb2->setCurrentIndex(2);
        f.ComboBoxCup1->setCurrentIndex(2);
        f.ComboBoxCup2->setCurrentIndex(1);
        f.ComboBoxTrigSrc->setCurrentIndex(1);
        f.ComboBoxTrigCup->setCurrentIndex(2);
        f.ComboBoxTrigSp->setCurrentIndex(1);
        f.ComboBoxTd->setCurrentIndex(36);
        f.ComboBoxMemSize->setCurrentIndex(2);
        f.ComboBoxWaveForm->setCurrentIndex(1);
        f.Panel().List(PanelList::Number) = {{"2", "4", "8", "16", "32", "64", "128"}, 5};
        f.ComboBoxMath->setCurrentIndex(12);
        f.SetFftHScaleList(2, 7);
        f.ComboBoxFftHScale->setCurrentIndex(4);
        for (QRadioButton* r :
             {f.RdBtnAbove, f.RdBtn20MHz1, f.RdBtn20MHz2, f.RdBtnMath12, f.RdBtnMath21, f.RdBtnDiv,
              f.RdBtnFftSrc2, f.RdBtnFftVstdBV, f.RdBtnFftWndBh}) {
            r->setChecked(true);
        }
        f.ComboBoxFftVScale->setCurrentIndex(3);
        f.SpeedButtonCh2->setDown(false);
        f.SpeedButtonDt->setDown(false);
        f.SpeedButtonMath->setDown(true);
        f.SpeedButtonFft->setDown(true);
        const std::uint32_t colors[10] = {0x102030, 0x405060, 0x708090, 0xA0B0C0, 0x010203,
                                          0x040506, 0x070809, 0x0A0B0C, 0x0D0E0F, 0x111213};
        const int positions[10] = {11, 22, 33, 44, 55, 70000, 66, 77, 88, 99};
        for (int i = 0; i < 10; ++i) {
            f.SetDisplayColor(i, colors[i]);
            f.SetItemPosition(i, positions[i]);
        }
        f.Panel().CaptionColor(PanelLatch::Dt) = 0x123456;
        f.Panel().CaptionColor(PanelLatch::Dv) = 0xFF000008;  // a system colour
        f.ShowPanelState();
        f.A_Scale->setChecked(false);
        f.A_Grid->setChecked(false);
        f.A_XY->setChecked(true);
        f.MenuItem("M_Hint")->setChecked(false);
        f.SetShowHint(false);
        f.CheckBoxDelay->setChecked(true);
        f.CheckBoxPulse->setChecked(true);
        f.CheckBoxEqu->setChecked(false);
        f.CheckBoxRoll->setChecked(false);
        InstrumentSettings& s = f.Settings();
        s.trigLevelOffset = -12.3456789L;
        s.trigCouplingBySource = {2, 1};
        s.trigDelay = 123456;
        s.pulseWidth = 77;
        s.acquireCountIndex = 5;
        s.acquireCountReserved = 42;
        s.fftVScaleIndex = {12, 3};
        s.fftPositionByType = {321, 123};
        Place(f, {100, 60, 1000, 700});
    }

    Bytes WrittenFile() {
        auto form = NewForm();
        Customise(*form);
        EXPECT_TRUE(NewPrm(*form)->WriteParameters());
        return files_.files.at(file_);
    }
};

TEST_F(SettingsParamForm, RoundTripRestoresEveryControlAndHeaderField) {
    auto written = NewForm();
    for (const ParamControlInfo& info : ParamControls()) {
        EXPECT_NE(Describe(*written, info.name), "missing") << info.name;
    }
    Customise(*written);
    ASSERT_TRUE(NewPrm(*written)->WriteParameters());
    ASSERT_EQ(files_.files.count(file_), 1u);
    EXPECT_TRUE(messages_.shown.empty());

    const ParamDecodeResult decoded = DecodeParamFile(files_.files.at(file_));
    ASSERT_TRUE(decoded.ok) << decoded.error;
    EXPECT_EQ(decoded.snapshot.version, ParamFileVersion());
    EXPECT_EQ(decoded.records.size(), 45u);

    auto read = NewForm();
    int differing = 0;
    for (const ParamControlInfo& info : ParamControls()) {
        differing += Describe(*read, info.name) != Describe(*written, info.name);
    }
    ASSERT_GE(differing, 30) << "the customised state must differ from a fresh form";
    ASSERT_NE(HeaderOf(*read), HeaderOf(*written));

    std::string message = "stale";
    ASSERT_TRUE(NewPrm(*read)->ReadParameters(message));
    EXPECT_TRUE(message.empty());
    for (const ParamControlInfo& info : ParamControls()) {
        EXPECT_EQ(Describe(*read, info.name), Describe(*written, info.name)) << info.name;
    }
    EXPECT_EQ(HeaderOf(*read), HeaderOf(*written));
    EXPECT_EQ(Bounds(*read), (WindowRect{100, 60, 1000, 700}));
    EXPECT_EQ(read->windowState(), Qt::WindowNoState);
    EXPECT_TRUE(messages_.shown.empty());
}

TEST_F(SettingsParamForm, WindowComesBackByThePlacementRules) {
    struct Case {
        const char* name;
        WindowRect saved;
        Qt::WindowStates savedState;
        WorkArea readArea;
        Qt::WindowStates stateBeforeRead;
        bool expectDefaultSize;
        bool expectSavedPosition;
        Qt::WindowStates expectedState;
    };
    const Case cases[] = {
        {"maximised, same screen",
         {100, 60, 1000, 700},
         Qt::WindowMaximized,
         {0, 0, 1920, 1040},
         Qt::WindowNoState,
         true,
         false,
         Qt::WindowMaximized},
        {"narrow, same screen",
         {40, 30, 500, 300},
         Qt::WindowNoState,
         {0, 0, 1920, 1040},
         Qt::WindowNoState,
         true,
         true,
         Qt::WindowNoState},
        {"other resolution",
         {100, 60, 1000, 700},
         Qt::WindowNoState,
         {0, 0, 1280, 1024},
         Qt::WindowMaximized,
         true,
         false,
         Qt::WindowMaximized},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        files_.files.clear();
        area_ = {0, 0, 1920, 1040};
        auto written = NewForm();
        Customise(*written);
        Place(*written, c.saved);
        written->setWindowState(c.savedState);
        ASSERT_TRUE(NewPrm(*written)->WriteParameters());

        area_ = c.readArea;
        auto read = NewForm();
        read->setWindowState(c.stateBeforeRead);
        auto prm = NewPrm(*read);
        const DerivedWindowSizes d = prm->DefaultWindow();
        std::string message;
        ASSERT_TRUE(prm->ReadParameters(message));
        const WindowRect bounds = Bounds(*read);
        if (c.expectSavedPosition) {
            EXPECT_EQ(bounds.left, c.saved.left);
            EXPECT_EQ(bounds.top, c.saved.top);
        } else {
            EXPECT_EQ(bounds.left, d.defaultLeft);
            EXPECT_EQ(bounds.top, d.defaultTop);
        }
        if (c.expectDefaultSize) {
            EXPECT_EQ(bounds.width, d.defaultWidth);
            EXPECT_EQ(bounds.height, d.defaultHeight);
        }
        EXPECT_EQ(read->windowState(), c.expectedState);
    }
}

// The default window is the panel's minimum: 870 x 521 inside the frame,
// centred in the work area.
TEST_F(SettingsParamForm, DefaultWindowIsCentredInTheWorkArea) {
    area_ = {100, 20, 1600, 900};
    auto form = NewForm();
    const DerivedWindowSizes d = NewPrm(*form)->DefaultWindow();
    EXPECT_GE(d.defaultWidth, 870);
    EXPECT_GT(d.defaultHeight, 521);  // the menu bar is frame
    EXPECT_EQ(d.defaultLeft, (1600 - d.defaultWidth) / 2 + 100);
    EXPECT_EQ(d.defaultTop, (900 - d.defaultHeight) / 2 + 20);
    form->ApplyDefaults();
    EXPECT_EQ(Bounds(*form), d.DefaultRect());
}

// Before the window is shown the window system may not know its frame yet;
// a size saved after showing must still come back as it was.
TEST_F(SettingsParamForm, SavedSizeDoesNotGrowWhenTheFrameAppearsLate) {
    std::vector<QSize> clientSizes;
    for (int session = 0; session < 3; ++session) {
        auto form = NewForm(false);
        auto prm = NewPrm(*form);
        std::string message;
        ASSERT_TRUE(prm->ReadParameters(message));
        if (session == 0) {
            Place(*form, {100, 60, 1000, 700});
        }
        form->show();
        QApplication::processEvents();
        clientSizes.push_back(form->size());
        // The case in point: a frame that was not there at creation.
        EXPECT_NE(form->FrameExtent(), QSize(0, 0));
        ASSERT_TRUE(prm->WriteParameters());
    }
    EXPECT_EQ(clientSizes[1], clientSizes[0]);
    EXPECT_EQ(clientSizes[2], clientSizes[0]);
}

TEST_F(SettingsParamForm, Version20FileIsReadWithItsUpgrades) {
    files_.files[file_] = testdata::Version20File();
    auto form = NewForm();
    auto prm = NewPrm(*form);
    std::string message;
    ASSERT_TRUE(prm->ReadParameters(message)) << prm->ReadProblem();
    EXPECT_TRUE(message.empty());
    const TFormSub& f = *form;

    // Probe lists gain "x100", T/div the long settings, math the large scales.
    EXPECT_EQ(Describe(f, "ComboBoxPb1"), "x1|x10|x100|#1");
    EXPECT_EQ(Describe(f, "ComboBoxPb2"), "x1|x10|x100|#0");
    ASSERT_EQ(f.ComboBoxTd->count(), 37);
    EXPECT_EQ(f.ComboBoxTd->itemText(36), "1000s");
    EXPECT_EQ(f.ComboBoxTd->currentIndex(), 16);
    ASSERT_EQ(f.ComboBoxMath->count(), 17);
    EXPECT_EQ(f.ComboBoxMath->itemText(16), "200V");
    EXPECT_EQ(f.ComboBoxMath->currentIndex(), 9);
    EXPECT_EQ(Describe(f, "ComboBoxTrigSp"), "↑|↓|#1");
    EXPECT_EQ(Describe(f, "ComboBoxMemSize"), "10kPoint|100kPoint|#1");
    EXPECT_EQ(Describe(f, "ComboBoxVd2").substr(Describe(f, "ComboBoxVd2").size() - 2), "#5");

    // Latching buttons: down state and the caption colour named in the record.
    EXPECT_EQ(Describe(f, "SpeedButtonCh1"), "down colour " + std::to_string(0x0000FF));
    EXPECT_EQ(Describe(f, "SpeedButtonCh2"), "up colour " + std::to_string(0xFF0000));
    EXPECT_EQ(Describe(f, "SpeedButtonMath"), "down colour " + std::to_string(0x008000));
    EXPECT_EQ(Describe(f, "SpeedButtonFft"), "down colour " + std::to_string(0x800080));
    EXPECT_EQ(Describe(f, "SpeedButtonDt"), "down colour 0");

    for (const char* on : {"RdBtnAbove", "RdBtnFull1", "RdBtn20MHz2", "RdBtnMath12", "RdBtnMath21",
                           "RdBtnMul", "RdBtnFftSrc2", "RdBtnFftVstV", "RdBtnFftWndHn"}) {
        EXPECT_EQ(Describe(f, on), "checked") << on;
    }
    for (const char* off : {"RdBtnUnder", "RdBtnFull2", "RdBtnAdd", "RdBtnFftWndRc"}) {
        EXPECT_EQ(Describe(f, off), "unchecked") << off;
    }
    EXPECT_EQ(f.ComboBoxFftVScale->currentIndex(), 4);
    EXPECT_EQ(Describe(f, "ComboBoxFftHScale"),
              "250KHz|200KHz|100KHz|50KHz|25KHz|20KHz|10KHz|5KHz|2.5KHz|2KHz|1KHz|#3");

    HeaderState expected;
    for (int i = 0; i < 10; ++i) {
        expected.colors[static_cast<std::size_t>(i)] = 0x010101u * static_cast<unsigned>(i + 1);
        expected.positions[static_cast<std::size_t>(i)] = 200 + i;
    }
    expected.flags = {true, false, true, false, false, true, true, false};
    expected.showHint = false;
    expected.trigLevelOffset = -12.5L;
    expected.trigCouplingBySource = {1, 2};
    expected.trigDelay = 1234;
    expected.pulseWidth = 56;
    expected.acquireCountIndex = 3;
    expected.acquireCountReserved = 77;
    expected.fftVScaleIndex = {9, 6};
    expected.fftPositionByType = {410, 90};
    EXPECT_EQ(HeaderOf(f), expected);

    // Saved maximised on this screen: maximised again over the default rectangle.
    EXPECT_EQ(f.windowState(), Qt::WindowMaximized);
    EXPECT_EQ(Bounds(f), prm->DefaultWindow().DefaultRect());
}

TEST_F(SettingsParamForm, Version10FileKeepsNineColoursAndGetsTheFftDefaults) {
    files_.files[file_] = testdata::Version10File();
    auto form = NewForm();
    Customise(*form);  // FFT state far from its defaults
    auto prm = NewPrm(*form);
    std::string message;
    ASSERT_TRUE(prm->ReadParameters(message)) << prm->ReadProblem();
    const TFormSub& f = *form;

    const int nineItems[9] = {0, 1, 2, 4, 5, 6, 7, 8, 9};
    for (int j = 0; j < 9; ++j) {
        EXPECT_EQ(f.GetDisplayColor(nineItems[j]), 0x010101u * static_cast<unsigned>(j + 1));
        EXPECT_EQ(f.GetItemPosition(nineItems[j]), 200 + j);
    }
    EXPECT_EQ(f.GetDisplayColor(3), 0x800080u);
    EXPECT_EQ(f.Settings().fftVScaleIndex, (std::array<int, 2>{8, 7}));
    EXPECT_EQ(f.Settings().fftPositionByType, (std::array<int, 2>{400, 100}));
    EXPECT_EQ(Describe(f, "SpeedButtonFft"), "up colour " + std::to_string(0x800080));
    EXPECT_EQ(f.ComboBoxFftVScale->count(), 17);
    EXPECT_EQ(f.ComboBoxFftVScale->currentIndex(), 8);
    EXPECT_EQ(f.ComboBoxFftHScale->itemText(0), "250KHz");
    EXPECT_EQ(f.ComboBoxFftHScale->currentIndex(), 0);
    for (const char* on : {"RdBtnFftSrc1", "RdBtnFftVstV", "RdBtnFftWndRc"}) {
        EXPECT_EQ(Describe(f, on), "checked") << on;
    }
    // The records of the old generation and its upgrades.
    EXPECT_EQ(Describe(f, "ComboBoxPb1"), "x1|x10|x100|#1");
    EXPECT_EQ(f.ComboBoxTd->count(), 37);
    EXPECT_EQ(f.ComboBoxMath->count(), 17);
    EXPECT_EQ(Describe(f, "RdBtnMul"), "checked");
    EXPECT_EQ(f.Settings().trigLevelOffset, -12.5L);
    EXPECT_EQ(f.Settings().acquireCountReserved, 77);
    // Normal window saved on this screen, larger than the default: as saved.
    EXPECT_EQ(Bounds(f), (WindowRect{11, 22, 900, 600}));
    EXPECT_EQ(f.windowState(), Qt::WindowNoState);
}

TEST_F(SettingsParamForm, UnreadableFileIsDeletedAndDefaultsApplied) {
    const Bytes good = testdata::Version20File();
    Bytes tooOld = good;
    const Bytes v002 = testdata::Version(0.02);
    std::copy(v002.begin(), v002.end(), tooOld.begin());
    // Sound for the codec, but the index selects past the list the control has.
    ParamDecodeResult decoded = DecodeParamFile(good);
    ASSERT_TRUE(decoded.ok);
    decoded.snapshot.Control(ParamControl::ComboBoxVd1)->items.reset();
    decoded.snapshot.Control(ParamControl::ComboBoxVd1)->itemIndex = 40;
    decoded.snapshot.Control(ParamControl::GroupBoxVert) = ParamControlRecord{};
    const auto unfitting = EncodeParamFile(decoded.snapshot);
    ASSERT_TRUE(unfitting);

    const struct {
        const char* name;
        Bytes bytes;
    } cases[] = {
        {"version 0.02", tooOld},
        {"header cut short", Bytes(good.begin(), good.begin() + 100)},
        {"last record cut short", Bytes(good.begin(), good.end() - 5)},
        {"index outside the control's list", *unfitting},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        files_.files.clear();
        files_.files[file_] = c.bytes;
        auto form = NewForm();
        Customise(*form);
        auto prm = NewPrm(*form);
        std::string message;
        EXPECT_FALSE(prm->ReadParameters(message));
        EXPECT_EQ(message, kParamReadErrorMessage);
        EXPECT_FALSE(prm->ReadProblem().empty());
        EXPECT_EQ(files_.files.count(file_), 0u);
        EXPECT_TRUE(messages_.shown.empty()) << "the caller shows the message";

        // Defaults, not the customised state.
        EXPECT_EQ(form->ComboBoxTd->count(), 37);
        EXPECT_EQ(form->ComboBoxTd->currentIndex(), 16);
        EXPECT_EQ(form->ComboBoxVd1->currentIndex(), 2);
        EXPECT_TRUE(form->A_Scale->isChecked());
        EXPECT_TRUE(form->SpeedButtonCh2->isDown());
        EXPECT_EQ(form->GetDisplayColor(0), 0x0000FFu);
        EXPECT_EQ(form->Settings().trigLevelOffset, kTrigLevelOffsetUnset);
        EXPECT_EQ(Bounds(*form), prm->DefaultWindow().DefaultRect());
    }
}

TEST_F(SettingsParamForm, MissingFileGivesDefaultsWithoutAMessage) {
    auto form = NewForm();
    Customise(*form);
    auto prm = NewPrm(*form);
    std::string message = "stale";
    EXPECT_TRUE(prm->ReadParameters(message));
    EXPECT_TRUE(message.empty());
    EXPECT_EQ(files_.files.count(file_), 0u);
    EXPECT_EQ(files_.folders.count(folder_), 1u);
    EXPECT_EQ(form->ComboBoxTd->currentIndex(), 16);
    EXPECT_EQ(form->Settings().trigDelay, 0);
    EXPECT_TRUE(form->A_Scale->isChecked());
}

TEST_F(SettingsParamForm, FailedWriteKeepsThePreviousFileAndSaysSo) {
    const Bytes previous = testdata::Version20File();
    files_.files[file_] = previous;
    files_.failWrite = true;
    auto form = NewForm();
    Customise(*form);
    EXPECT_FALSE(NewPrm(*form)->WriteParameters());
    EXPECT_EQ(files_.files.at(file_), previous);
    ASSERT_EQ(messages_.shown.size(), 1u);
    EXPECT_EQ(messages_.shown[0].icon, MessageIcon::Error);
    EXPECT_EQ(messages_.shown[0].title, "ZEP-9100");
    EXPECT_EQ(messages_.shown[0].text, kParamWriteErrorMessage);
}

TEST_F(SettingsParamForm, ZeptoolShowsAFileTheFormWrote) {
    const Bytes bytes = WrittenFile();
    std::string dir = (fs::temp_directory_path() / "lumatrace-prmform-XXXXXX").string();
    ASSERT_NE(::mkdtemp(dir.data()), nullptr);
    const fs::path path = fs::path(dir) / "Zep9100.prm";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    std::ostringstream out;
    std::ostringstream err;
    const std::vector<std::string> args = {"prm", path.string()};
    const int rc = RunZeptool(args, out, err);
    fs::remove_all(dir);
    ASSERT_EQ(rc, 0) << err.str();
    const std::string json = out.str();
    const char* expected[] = {
        "\"version\": 2.1",
        "\"trigDelay\": 123456,",
        "\"trigCouplingBySource\": [2, 1],",
        "\"reserved\": 42,",
        "\"fftVScaleIndex\": [12, 3],",
        "\"A_XY\": true,",
        "\"GroupBoxVert\": {\n      \"class\": \"TGroupBox\"",
        "\"SpeedButtonDv\": {\n      \"class\": \"TSpeedButton\",\n      \"Down\": true,\n"
        "      \"Font.Color\": 4278190088\n",
        "\"ComboBoxNumber\": {\n      \"class\": \"TComboBox\",\n      \"Items.Strings\": [\n"
        "        \"2\",",
        "\"RdBtnFftWndBh\": {\n      \"class\": \"TRadioButton\",\n      \"Checked\": true\n",
    };
    for (const char* e : expected) {
        EXPECT_NE(json.find(e), std::string::npos) << e << "\n--- in ---\n" << json;
    }
}

}  // namespace
}  // namespace lumatrace
