#pragma once
// The model's UTF-8 texts as Qt shows them.
#include <QString>
#include <string_view>

namespace velk::gui {

inline QString QtText(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

}  // namespace velk::gui
