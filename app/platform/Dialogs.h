#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lumatrace {

// One entry of a dialog filter: "ZEP-9100 files (*.zep)" with patterns "*.zep".
struct FileFilter {
    std::string description;
    std::vector<std::string> patterns;

    bool operator==(const FileFilter&) const = default;
};

// Splits a filter written as "description|patterns|description|patterns|";
// patterns are separated by ';'. A trailing lone description is dropped.
std::vector<FileFilter> ParseFileFilter(std::string_view filter);

// The same filters in Qt's "description (patterns);;..." form. The
// description is kept as written (it usually names the patterns itself).
std::string ToQtNameFilters(const std::vector<FileFilter>& filters);

// The extension to append to a typed name that has none, the way the
// platform's own dialogs do it: the selected filter's extension when it names
// one, otherwise the first entry of `defaultExtension` (which may list several,
// separated by '|'). `filterIndex` counts from 1.
std::string DefaultSuffixFor(const std::vector<FileFilter>& filters, int filterIndex,
                             std::string_view defaultExtension);

struct FileDialogOptions {
    std::string title;
    std::string filter;            // "description|patterns|..." (see ParseFileFilter)
    int filterIndex = 1;           // 1-based, as chosen at open
    std::string defaultExtension;  // without the dot, e.g. "zep"
    std::string fileName;          // proposed name
    std::string initialFolder;
    // When set, a change of filter puts this name (from the name typed so
    // far and the new filter, counted from 1) into the dialog's name box.
    std::function<std::string(std::string_view name, int filterIndex)> nameForFilter;
};

struct FileDialogResult {
    std::string path;
    int filterIndex = 1;  // the filter selected when the user accepted, 1-based

    bool operator==(const FileDialogResult&) const = default;
};

// The open and save dialogs. nullopt when the user cancels. The save dialog
// does not ask about overwriting: the file commands decide that themselves.
class FileDialogService {
  public:
    virtual ~FileDialogService() = default;
    virtual std::optional<FileDialogResult> GetOpenFileName(const FileDialogOptions& options) = 0;
    virtual std::optional<FileDialogResult> GetSaveFileName(const FileDialogOptions& options) = 0;
};

// The colour dialog, with colours as Windows colour values (0x00BBGGRR).
class ColorDialogService {
  public:
    virtual ~ColorDialogService() = default;
    virtual std::optional<std::uint32_t> ChooseColor(std::uint32_t initial) = 0;
};

}  // namespace lumatrace
