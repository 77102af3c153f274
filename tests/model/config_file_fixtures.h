#pragma once
// The bytes of a committed configuration file fixture (tests/fixtures/), made by the
// independent writer.
#include <string>

#include "tests/support/child_process.h"

namespace velk::testing {

inline std::string Fixture(const std::string& name) {
    return ReadFile(std::string(VELK_FIXTURE_DIR) + "/" + name);
}

}  // namespace velk::testing
