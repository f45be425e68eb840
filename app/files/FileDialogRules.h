// What the open and save dialogs of the file commands accept, and what they
// say when they refuse: the extension rules, the not-found and read-only
// refusals and the question before overwriting. The dialogs themselves are
// the platform's; the commands run them again while these rules keep them
// open.
#pragma once

#include <string>
#include <string_view>

#include "app/platform/FileStore.h"
#include "app/platform/MessageBox.h"

namespace lumatrace {

// Save dialog filters, counted from 1 as the dialog reports them.
inline constexpr int kSaveFilterWaveform = 1;
inline constexpr int kSaveFilterBmp = 2;
inline constexpr int kSaveFilterJpeg = 3;

// ".zep", ".bmp" or ".jpg" for a save filter; an index the dialog does not
// offer counts as the waveform filter.
std::string_view SaveExtensionForFilter(int filterIndex);

// The extension of the path's last component with its dot ("" without one),
// as written.
std::string_view PathExtension(std::string_view path);
// The path with its extension replaced by `extension` (added when it has none).
std::string ReplaceExtension(std::string_view path, std::string_view extension);
// The last component of the path.
std::string_view FileNamePart(std::string_view path);

struct OpenDialogCheck {
    bool close = false;  // the dialog may close; false: it stays open with an empty name
    std::string path;    // the file to open
};

// The open dialog's OK: a name without the ".zep" extension gets it appended
// (trace1.csv becomes trace1.csv.zep); a name that does not exist is refused
// with a warning.
OpenDialogCheck CheckOpenDialog(std::string_view fileName, FileStore& files,
                                MessageBoxService& messages);

struct SaveDialogCheck {
    bool close = false;       // the dialog may close
    std::string path;         // the file to write, extension fitted to the filter
    std::string extension;    // the filter's extension
    bool nameFitted = false;  // the extension was changed: the dialog shows `path`'s name
};

// The save dialog's OK: the extension is made the filter's; an existing
// read-only file is refused, another existing file is only overwritten when
// the user answers Yes to the question (No is the default).
SaveDialogCheck CheckSaveDialog(std::string_view fileName, int filterIndex, FileStore& files,
                                MessageBoxService& messages);

// The name the save dialog shows after its filter changed to `filterIndex`:
// the current name's extension replaced, without the folder.
std::string FileNameForFilter(std::string_view fileName, int filterIndex);

}  // namespace lumatrace
