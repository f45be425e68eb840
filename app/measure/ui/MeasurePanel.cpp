#include "app/measure/ui/MeasurePanel.h"

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "app/measure/MeasureFormat.h"

namespace lumatrace {

namespace {

QString Utf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Columns of the table after the measurement's name.
enum Column : int { kCurrent, kMean, kMin, kMax, kStdDev, kCount, kColumns };
constexpr const char* kColumnTitles[kColumns] = {"Current", "Mean",    "Min",
                                                 "Max",     "Std Dev", "Count"};
constexpr const char* kGateTitles[] = {"Record", "Screen", "Cursors"};

}  // namespace

MeasurePanel::MeasurePanel(MeasurePanelServices services, QWidget* parent)
    : QWidget(parent), services_(std::move(services)) {
    setObjectName(QStringLiteral("PanelMeasure"));

    ComboBoxMeasureSrc = new QComboBox(this);
    ComboBoxMeasureSrc->setObjectName(QStringLiteral("ComboBoxMeasureSrc"));
    for (int s = 0; s < kMeasureSourceCount; ++s)
        ComboBoxMeasureSrc->addItem(Utf8(SourceName(static_cast<MeasureSource>(s))));
    ComboBoxMeasureSrc->setToolTip(QCoreApplication::translate("Measure", "測定する波形"));

    ComboBoxMeasureGate = new QComboBox(this);
    ComboBoxMeasureGate->setObjectName(QStringLiteral("ComboBoxMeasureGate"));
    for (const char* title : kGateTitles)
        ComboBoxMeasureGate->addItem(QString::fromLatin1(title));
    ComboBoxMeasureGate->setToolTip(
        QCoreApplication::translate("Measure", "測定範囲 (記録全体/画面/ΔTカーソル間)"));

    selectMenu_ = new QMenu(this);
    for (int i = 0; i < kMeasureCount; ++i) {
        const MeasureId id = static_cast<MeasureId>(i);
        QAction* action = selectMenu_->addAction(Utf8(InfoOf(id).name));
        action->setObjectName(QStringLiteral("M_Measure_") + Utf8(InfoOf(id).name));
        action->setCheckable(true);
        connect(action, &QAction::toggled, this, [this, id](bool on) {
            if (updating_)
                return;
            auto& shown = choices_.shown;
            const auto at = std::find(shown.begin(), shown.end(), id);
            if (on && at == shown.end())
                shown.push_back(id);
            else if (!on && at != shown.end())
                shown.erase(at);
            ShowValues();
            Save();
        });
    }
    BtnMeasureSelect = new QToolButton(this);
    BtnMeasureSelect->setObjectName(QStringLiteral("BtnMeasureSelect"));
    BtnMeasureSelect->setText(QStringLiteral("Select"));
    BtnMeasureSelect->setToolTip(QCoreApplication::translate("Measure", "表示する測定項目の選択"));
    BtnMeasureSelect->setPopupMode(QToolButton::InstantPopup);
    BtnMeasureSelect->setMenu(selectMenu_);

    BtnMeasureReset = new QPushButton(QStringLiteral("Reset"), this);
    BtnMeasureReset->setObjectName(QStringLiteral("BtnMeasureReset"));
    BtnMeasureReset->setToolTip(QCoreApplication::translate("Measure", "統計のリセット"));
    connect(BtnMeasureReset, &QPushButton::clicked, this, [this] { ResetStatistics(); });

    TableMeasure = new QTableWidget(0, kColumns, this);
    TableMeasure->setObjectName(QStringLiteral("TableMeasure"));
    for (int c = 0; c < kColumns; ++c) {
        TableMeasure->setHorizontalHeaderItem(
            c, new QTableWidgetItem(QString::fromLatin1(kColumnTitles[c])));
    }
    TableMeasure->setEditTriggers(QAbstractItemView::NoEditTriggers);
    TableMeasure->setSelectionMode(QAbstractItemView::NoSelection);
    TableMeasure->setFocusPolicy(Qt::NoFocus);
    TableMeasure->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    TableMeasure->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);

    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("Source"), this));
    top->addWidget(ComboBoxMeasureSrc);
    top->addWidget(new QLabel(QStringLiteral("Gate"), this));
    top->addWidget(ComboBoxMeasureGate);
    top->addWidget(BtnMeasureSelect);
    top->addStretch(1);
    top->addWidget(BtnMeasureReset);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addLayout(top);
    layout->addWidget(TableMeasure, 1);

    connect(ComboBoxMeasureSrc, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (updating_ || index < 0)
            return;
        choices_.source = static_cast<MeasureSource>(index);
        ChoicesChanged();
    });
    connect(ComboBoxMeasureGate, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (updating_ || index < 0)
            return;
        choices_.gate = static_cast<MeasureGate>(index);
        ChoicesChanged();
    });

    ShowChoices();
    setVisible(false);
}

MeasurePanel::~MeasurePanel() = default;

std::vector<std::string> MeasurePanel::LoadChoices() {
    if (!services_.files || !services_.choicesFile)
        return {};
    MeasureChoicesRead read = LoadMeasureChoices(*services_.files, *services_.choicesFile);
    choices_ = read.choices;
    statistics_.Reset();
    ShowChoices();
    setVisible(choices_.visible);
    if (choices_.visible)
        Measure();
    ShowValues();
    return read.errors;
}

void MeasurePanel::SetShown(bool shown) {
    if (shown == choices_.visible)
        return;
    choices_.visible = shown;
    setVisible(shown);
    Save();
    if (shown) {
        // What was acquired while hidden was not measured: start afresh.
        statistics_.Reset();
        Measure();
        ShowValues();
    }
}

void MeasurePanel::OnRecord(const MeasureFrame& frame) {
    frame_ = frame;
    if (!choices_.visible)
        return;
    Measure();
    ShowValues();
}

void MeasurePanel::OnView(const MeasureFrame& frame) {
    const bool same = frame_ && SetupOf(frame_->input, choices_.source, GateOf(*frame_)) ==
                                    SetupOf(frame.input, choices_.source, GateOf(frame));
    frame_ = frame;
    if (same || !choices_.visible)
        return;
    Measure();
    ShowValues();
}

void MeasurePanel::ForgetRecord() {
    frame_.reset();
}

void MeasurePanel::ResetStatistics() {
    statistics_.Reset();
    ShowValues();
}

void MeasurePanel::ChoicesChanged() {
    Save();
    statistics_.Reset();
    if (choices_.visible)
        Measure();
    ShowValues();
}

SampleRange MeasurePanel::GateOf(const MeasureFrame& frame) const {
    switch (choices_.gate) {
        case MeasureGate::Screen:
            return frame.screen;
        case MeasureGate::Cursors:
            return frame.cursors;
        case MeasureGate::Record:
            break;
    }
    return RecordGate(static_cast<int>(frame.input.record.size()));
}

void MeasurePanel::Measure() {
    if (!frame_)
        return;
    const SampleRange gate = GateOf(*frame_);
    // Delay and phase cost a second channel's analysis: only when they are shown.
    const auto& shown = choices_.shown;
    const bool pair = std::find(shown.begin(), shown.end(), MeasureId::Delay) != shown.end() ||
                      std::find(shown.begin(), shown.end(), MeasureId::Phase) != shown.end();
    const MeasureValues values = engine_.Measure(frame_->input, choices_.source, gate, pair);
    statistics_.Add(values, SetupOf(frame_->input, choices_.source, gate));
}

void MeasurePanel::ShowChoices() {
    updating_ = true;
    ComboBoxMeasureSrc->setCurrentIndex(static_cast<int>(choices_.source));
    ComboBoxMeasureGate->setCurrentIndex(static_cast<int>(choices_.gate));
    const QList<QAction*> actions = selectMenu_->actions();
    for (int i = 0; i < kMeasureCount && i < actions.size(); ++i) {
        const MeasureId id = static_cast<MeasureId>(i);
        actions[i]->setChecked(std::find(choices_.shown.begin(), choices_.shown.end(), id) !=
                               choices_.shown.end());
    }
    updating_ = false;
}

void MeasurePanel::ShowValues() {
    TableMeasure->setRowCount(static_cast<int>(choices_.shown.size()));
    for (int row = 0; row < static_cast<int>(choices_.shown.size()); ++row) {
        const MeasureId id = choices_.shown[static_cast<std::size_t>(row)];
        const MeasureInfo& info = InfoOf(id);
        const MeasureStatistics::Column c = statistics_.Of(id);
        const std::string texts[kColumns] = {
            FormatMeasure(info.unit, c.current), FormatMeasure(info.unit, c.mean),
            FormatMeasure(info.unit, c.min),     FormatMeasure(info.unit, c.max),
            FormatMeasure(info.unit, c.stdDev),  std::to_string(c.count),
        };
        TableMeasure->setVerticalHeaderItem(row, new QTableWidgetItem(Utf8(info.name)));
        for (int col = 0; col < kColumns; ++col) {
            auto* item = new QTableWidgetItem(Utf8(texts[col]));
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            TableMeasure->setItem(row, col, item);
        }
    }
}

void MeasurePanel::Save() {
    if (!services_.files || !services_.choicesFile)
        return;
    // A choice that cannot be kept is still used for this run; the next change tries again.
    SaveMeasureChoices(*services_.files, *services_.choicesFile, choices_);
}

}  // namespace lumatrace
