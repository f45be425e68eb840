// The measurements panel: the source and gate, the measurements chosen, their current values
// and statistics over acquisitions, and a button that restarts the statistics. Its choices
// live in a file of their own (MeasureChoices.h).
//
// The main window owns one panel and
//   - calls LoadChoices once after creating it (the panel does no I/O in its constructor) and
//     SetShown with the saved state (Choices().visible) or from its menu item;
//   - calls OnRecord after each record it puts on show (data arrival, roll step, file load),
//     with the record, its scales and the screen and cursor gates of the current view, once
//     the redraw has placed the trace;
//   - may call OnView after other redraws (scrolling, cursor moves while stopped): the record
//     on show is measured again only when what is measured changed.
// The panel measures only while it is shown, on the caller's thread, between two records.
#pragma once

#include <QWidget>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/measure/MeasureChoices.h"
#include "app/measure/MeasureEngine.h"
#include "app/measure/MeasureStatistics.h"
#include "app/platform/FileStore.h"

class QComboBox;
class QMenu;
class QPushButton;
class QTableWidget;
class QToolButton;

namespace lumatrace {

// One record on show as the panel measures it. The record (input.record) must stay valid
// until the next OnRecord or ForgetRecord: a change of the panel's choices measures it again.
struct MeasureFrame {
    MeasureInput input;
    SampleRange screen;   // ScreenGate of the view that shows the record
    SampleRange cursors;  // CursorGate of the ΔT cursors
};

struct MeasurePanelServices {
    FileStore* files = nullptr;                        // null: the choices are not kept
    std::optional<std::filesystem::path> choicesFile;  // MeasureChoicesFile(...)
};

class MeasurePanel : public QWidget {
    Q_OBJECT

  public:
    explicit MeasurePanel(MeasurePanelServices services, QWidget* parent = nullptr);
    ~MeasurePanel() override;

    // Reads the choices file and shows its choices; returns what could not be read (the file
    // is left as it is until the user changes a choice).
    std::vector<std::string> LoadChoices();
    const MeasureChoices& Choices() const { return choices_; }

    // Shows or hides the panel and keeps the state in the file. Showing restarts the
    // statistics and measures the record on show.
    void SetShown(bool shown);
    bool Shown() const { return choices_.visible; }

    // A record is on show.
    void OnRecord(const MeasureFrame& frame);
    // The record on show is the same, the view or the settings may not be.
    void OnView(const MeasureFrame& frame);
    // The record on show is gone (its buffer is cleared or reused).
    void ForgetRecord();
    // Restarts the statistics (the reset button).
    void ResetStatistics();

    const MeasureStatistics& Statistics() const { return statistics_; }

    QComboBox* ComboBoxMeasureSrc = nullptr;
    QComboBox* ComboBoxMeasureGate = nullptr;
    QToolButton* BtnMeasureSelect = nullptr;
    QPushButton* BtnMeasureReset = nullptr;
    QTableWidget* TableMeasure = nullptr;

  private:
    void ChoicesChanged();
    SampleRange GateOf(const MeasureFrame& frame) const;
    void Measure();
    void ShowChoices();
    void ShowValues();
    void Save();

    MeasurePanelServices services_;
    MeasureChoices choices_;
    MeasureEngine engine_;
    MeasureStatistics statistics_;
    std::optional<MeasureFrame> frame_;
    QMenu* selectMenu_ = nullptr;
    bool updating_ = false;  // the controls are being set from the choices
};

}  // namespace lumatrace
