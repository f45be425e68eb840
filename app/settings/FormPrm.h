// TFormPrm: reads the parameter file into the control panel at start-up and
// writes it back at close. The codec turns bytes into a snapshot; this class
// applies a snapshot to the main window (controls, mirror fields, display
// items, window placement) and takes one from it.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include <QSize>

#include "app/platform/FileStore.h"
#include "app/settings/ParamControlBinding.h"
#include "app/settings/ParamFile.h"
#include "app/settings/WindowPlacement.h"

namespace lumatrace {

class MessageBoxService;
class TFormSub;

struct ParamFormServices {
    // Null: the local file system.
    FileStore* files = nullptr;
    // Null: the main window's message boxes.
    MessageBoxService* messages = nullptr;
    // The program's settings folder; nullopt: the one the environment gives
    // (APPDATA and its stand-ins). Stays unset when the environment names none.
    std::optional<std::filesystem::path> folder;
};

class TFormPrm {
  public:
    // Computes the default window sizes from the main window's frame and the
    // work area, and makes sure the settings folder exists.
    explicit TFormPrm(TFormSub& main, ParamFormServices services = {});
    ~TFormPrm();

    TFormPrm(const TFormPrm&) = delete;
    TFormPrm& operator=(const TFormPrm&) = delete;

    // True when the file was absent (defaults applied) or read. False when it
    // was unreadable: the defaults are applied and `message` holds the text
    // for the caller to show (title "Lumatrace", error icon).
    bool ReadParameters(std::string& message);

    // Writes the file; a failure is reported in a message box here. The
    // previous file survives a failed write.
    bool WriteParameters();

    // The snapshot of the current state, as WriteParameters writes it.
    ParamSnapshot TakeSnapshot() const;
    // Applies a decoded snapshot, every version branch included. Returns the
    // reason when the snapshot does not fit the panel (nothing is applied
    // then), or an empty string.
    std::string ApplySnapshot(const ParamSnapshot& snapshot);

    // Empty when the environment gives no settings folder.
    const std::filesystem::path& FilePath() const { return file_; }
    const DerivedWindowSizes& DefaultWindow() const { return sizes_; }
    // What was wrong with the file at the last failed read, for logs.
    const std::string& ReadProblem() const { return readProblem_; }

  private:
    void ApplyWindowPlacement(const ParamSnapshot& snapshot);

    TFormSub& main_;
    std::unique_ptr<FileStore> ownFiles_;
    FileStore* files_;
    MessageBoxService* messages_;
    std::filesystem::path file_;
    DerivedWindowSizes sizes_;
    // The frame as it was at creation; window sizes are saved and restored
    // with this one extent.
    QSize frame_;
    std::string readProblem_;
};

}  // namespace lumatrace
