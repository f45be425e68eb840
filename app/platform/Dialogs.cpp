#include "app/platform/Dialogs.h"

namespace lumatrace {

namespace {

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(separator, start);
        if (end == std::string_view::npos) {
            parts.push_back(text.substr(start));
            return parts;
        }
        parts.push_back(text.substr(start, end - start));
        start = end + 1;
    }
}

}  // namespace

std::vector<FileFilter> ParseFileFilter(std::string_view filter) {
    std::vector<FileFilter> filters;
    const std::vector<std::string_view> parts = Split(filter, '|');
    for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].empty() && parts[i + 1].empty()) {
            continue;
        }
        FileFilter f;
        f.description = std::string(parts[i]);
        for (std::string_view p : Split(parts[i + 1], ';')) {
            if (!p.empty()) {
                f.patterns.emplace_back(p);
            }
        }
        filters.push_back(std::move(f));
    }
    return filters;
}

std::string ToQtNameFilters(const std::vector<FileFilter>& filters) {
    std::string out;
    for (const FileFilter& f : filters) {
        if (!out.empty()) {
            out += ";;";
        }
        std::string patterns;
        for (const std::string& p : f.patterns) {
            if (!patterns.empty()) {
                patterns += ' ';
            }
            patterns += p;
        }
        out += f.description;
        // Qt takes the patterns from the last parentheses of the entry.
        if (f.description.find("(" + patterns + ")") == std::string::npos) {
            out += " (" + patterns + ")";
        }
    }
    return out;
}

std::string DefaultSuffixFor(const std::vector<FileFilter>& filters, int filterIndex,
                             std::string_view defaultExtension) {
    if (filterIndex >= 1 && static_cast<std::size_t>(filterIndex) <= filters.size()) {
        for (const std::string& p : filters[static_cast<std::size_t>(filterIndex - 1)].patterns) {
            if (p.size() > 2 && p[0] == '*' && p[1] == '.' &&
                p.find_first_of("*?", 2) == std::string::npos) {
                return p.substr(2);
            }
        }
    }
    const std::size_t bar = defaultExtension.find('|');
    return std::string(defaultExtension.substr(0, bar));
}

}  // namespace lumatrace
