#pragma once

#include <filesystem>

namespace lumatrace {

enum class DesktopOpenResult {
    Opened,
    NotFound,   // the file (or its folder) does not exist
    NoHandler,  // nothing on the desktop opens files of that kind
};

// Opens a file with the desktop's default application for its kind.
class DesktopService {
  public:
    virtual ~DesktopService() = default;
    virtual DesktopOpenResult OpenFile(const std::filesystem::path& file) = 0;
};

}  // namespace lumatrace
