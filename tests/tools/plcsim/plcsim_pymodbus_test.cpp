// velkopc-plcsim as a Modbus ASCII slave for a pymodbus master over a socat pty pair.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <sstream>
#include <string>

#include "tests/support/plcsim_process.h"

namespace velk {
namespace {

constexpr const char* kPython = "/usr/bin/python3";

bool HavePymodbus() {
    const std::string command =
        std::string(kPython) + " -c 'import pymodbus.client' >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

std::map<std::string, std::string> RunScript(const std::string& device, int unit, int& status) {
    const std::string command = std::string(kPython) + " " + VELK_PLCSIM_PYMODBUS_SCRIPT + " " +
                                device + " " + std::to_string(unit) + " 2>&1";
    std::map<std::string, std::string> values;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        status = -1;
        return values;
    }
    char line[512];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        std::string text(line);
        if (!text.empty() && text.back() == '\n') {
            text.pop_back();
        }
        const auto equals = text.find('=');
        if (equals != std::string::npos) {
            values[text.substr(0, equals)] = text.substr(equals + 1);
        }
    }
    status = pclose(pipe);
    return values;
}

TEST(PlcsimPymodbusTest, AsciiMasterReadsAndWrites) {
    if (!test::HaveProgram("socat") || !HavePymodbus()) {
        GTEST_SKIP() << "socat or pymodbus under /usr/bin/python3 missing: ASCII peer test "
                        "skipped";
    }
    test::PlcsimProcess simulator;
    test::PtyPair pty;
    const std::string plc = simulator.Directory() + "/plc";
    const std::string master = simulator.Directory() + "/master";
    ASSERT_TRUE(pty.Start(plc, master));
    std::string error;
    ASSERT_TRUE(simulator.Start(
        {"--ascii", plc, "--parity", "even", "--unit", "5", "--holding", "0=4660", "--holding",
         "1=22136", "--coil", "1=1", "--coil", "9=1", "--input", "20=31"},
        error))
        << error;
    int status = 0;
    const auto values = RunScript(master, 5, status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(values.at("holding"), "4660 22136");
    EXPECT_EQ(values.at("coils"), "0100000001");
    EXPECT_EQ(values.at("write"), "ok");
    EXPECT_EQ(values.at("input"), "31");
    EXPECT_EQ(values.at("beyond"), "2");  // illegal data address
    EXPECT_EQ(simulator.Command("get holding 20 3"), "7 8 9\n");
    EXPECT_EQ(simulator.ReportValue("requests.fc16"), 1);
}

}  // namespace
}  // namespace velk
