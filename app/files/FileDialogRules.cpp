#include "app/files/FileDialogRules.h"

#include <algorithm>
#include <cctype>
#include "app/platform/UiText.h"

namespace lumatrace {

namespace {

constexpr std::string_view kOpenTitle = UI_TEXT_NOOP("Files", "ファイルを開く");
constexpr std::string_view kSaveAsTitle = UI_TEXT_NOOP("Files", "名前を付けて保存");

std::size_t NameStart(std::string_view path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string_view::npos ? 0 : slash + 1;
}

std::string Lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

}  // namespace

std::string_view SaveExtensionForFilter(int filterIndex) {
    switch (filterIndex) {
        case kSaveFilterBmp:
            return ".bmp";
        case kSaveFilterJpeg:
            return ".jpg";
        default:
            return ".zep";
    }
}

std::string_view PathExtension(std::string_view path) {
    const std::string_view name = path.substr(NameStart(path));
    const std::size_t dot = name.rfind('.');
    return dot == std::string_view::npos ? std::string_view{} : name.substr(dot);
}

std::string ReplaceExtension(std::string_view path, std::string_view extension) {
    const std::string_view current = PathExtension(path);
    std::string out(path.substr(0, path.size() - current.size()));
    out += extension;
    return out;
}

std::string_view FileNamePart(std::string_view path) {
    return path.substr(NameStart(path));
}

OpenDialogCheck CheckOpenDialog(std::string_view fileName, FileStore& files,
                                MessageBoxService& messages) {
    OpenDialogCheck check;
    check.path = std::string(fileName);
    if (Lower(PathExtension(check.path)) != ".zep") {
        check.path += ".zep";
    }
    if (files.Exists(std::filesystem::path(check.path))) {
        check.close = true;
        return check;
    }
    messages.Show(MessageIcon::Warning, UiText("Files", kOpenTitle),
                  check.path + UiText("Files",
                                      "\r\nファイルが見つかりません。\r\n"
                                      "指定したファイル名が正しいかどうか確認してください。"));
    return check;
}

SaveDialogCheck CheckSaveDialog(std::string_view fileName, int filterIndex, FileStore& files,
                                MessageBoxService& messages) {
    SaveDialogCheck check;
    check.extension = std::string(SaveExtensionForFilter(filterIndex));
    check.path = std::string(fileName);
    if (Lower(PathExtension(check.path)) != check.extension) {
        check.path = ReplaceExtension(check.path, check.extension);
        check.nameFitted = true;
    }
    // Of a waveform set only the index file is looked at: the CSV files of an
    // existing set are replaced with it.
    const std::filesystem::path target = std::filesystem::path(check.path);
    if (files.Exists(target)) {
        if (files.IsReadOnly(target)) {
            messages.Show(
                MessageIcon::Warning, UiText("Files", kSaveAsTitle),
                check.path + UiText("Files",
                                    "\r\nこのファイルは読み取り専用属性が設定されています。\r\n"
                                    "別のファイル名を使用してください。"));
            return check;
        }
        const MessageButton answer =
            messages.Show(MessageIcon::Warning, UiText("Files", kSaveAsTitle),
                          check.path + UiText("Files", " は既に存在します。\r\n上書きしますか？"),
                          MessageButtons::YesNoDefaultNo);
        if (answer != MessageButton::Yes) {
            return check;
        }
    }
    check.close = true;
    return check;
}

std::string FileNameForFilter(std::string_view fileName, int filterIndex) {
    return ReplaceExtension(FileNamePart(fileName), SaveExtensionForFilter(filterIndex));
}

}  // namespace lumatrace
