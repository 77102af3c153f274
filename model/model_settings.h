#pragma once
// The server settings the configuration model uses, handed in by the application.
#include <cstdint>
#include <string>

namespace velk {

struct ModelSettings {
    std::string areaDelimiter = ".";  // AreaDelimiter: separator of tag paths
    std::uint32_t fullTagPath = 1;    // FullTagPath: AE source names carry the full path
};

}  // namespace velk
