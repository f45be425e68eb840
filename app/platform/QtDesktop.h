#pragma once

#include "app/platform/Desktop.h"

namespace lumatrace {

// QDesktopServices: the desktop's default application for the file's kind.
class QtDesktopService final : public DesktopService {
  public:
    DesktopOpenResult OpenFile(const std::filesystem::path& file) override;
};

}  // namespace lumatrace
