// The ASCII framing against pymodbus: answers that pymodbus builds have exactly the lengths
// our requests expect and pass IsValid with the right data; requests that we build are
// accepted and read back correctly by pymodbus.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "modbus/modbus_requests.h"

namespace velk {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr const char* kPython = "/usr/bin/python3";

bool HavePymodbus() {
    const std::string command =
        std::string(kPython) + " -c 'import pymodbus.transaction' >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

std::vector<std::string> RunScript(const std::string& arguments) {
    const std::string command =
        std::string(kPython) + " " + VELK_PYMODBUS_FRAMES_SCRIPT + " " + arguments + " 2>&1";
    std::vector<std::string> lines;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return lines;
    }
    char line[1024];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        std::string text(line);
        if (!text.empty() && text.back() == '\n') {
            text.pop_back();
        }
        lines.push_back(text);
    }
    pclose(pipe);
    return lines;
}

Bytes FromHex(const std::string& hex) {
    Bytes bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

std::string ToHex(std::span<const std::uint8_t> bytes) {
    std::string hex;
    char pair[3];
    for (std::uint8_t byte : bytes) {
        std::snprintf(pair, sizeof pair, "%02x", byte);
        hex += pair;
    }
    return hex;
}

class PymodbusAsciiTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!HavePymodbus()) {
            GTEST_SKIP() << "pymodbus under /usr/bin/python3 missing: ASCII peer test skipped";
        }
    }
};

TEST_F(PymodbusAsciiTest, PymodbusAnswersFitOurRequests) {
    std::map<std::string, Bytes> answers;
    for (const std::string& line : RunScript("answers")) {
        const auto space = line.find(' ');
        ASSERT_NE(space, std::string::npos) << line;
        answers[line.substr(0, space)] = FromHex(line.substr(space + 1));
    }
    ASSERT_EQ(answers.size(), 9u);
    constexpr FileTime kAt = 1;
    const auto accept = [&](std::unique_ptr<OMessage> request, const std::string& label) {
        EXPECT_EQ(request->GetAnswerLength(), answers[label].size()) << label;
        request->Reset();
        request->SetAnswerLength(static_cast<std::uint16_t>(answers[label].size()));
        EXPECT_TRUE(request->StoreAnswer(answers[label], kAt)) << label;
        return request;
    };
    const MessageFraming ascii = MessageFraming::kAscii;

    auto holding = accept(BuildReadRequest(ascii, 3, ReadArea::kHoldingRegister, 0, 3), "holding");
    EXPECT_TRUE(holding->IsValid());
    EXPECT_EQ(holding->GetSlave(), 3);
    EXPECT_EQ(holding->GetWord(1), 0x5678);
    EXPECT_EQ(holding->GetDWord(0), 0x12345678u);
    EXPECT_EQ(holding->GetString(4), "A");

    auto input = accept(BuildReadRequest(ascii, 3, ReadArea::kInputRegister, 0, 2), "input");
    EXPECT_TRUE(input->IsValid());
    EXPECT_EQ(input->GetWord(1), 0xFFFF);

    for (const auto& [area, label] : {std::pair{ReadArea::kOutputCoil, "coils"},
                                      std::pair{ReadArea::kInputStatus, "discrete"}}) {
        auto bits = accept(BuildReadRequest(ascii, 3, area, 0, 10), label);
        EXPECT_TRUE(bits->IsValid()) << label;
        EXPECT_EQ(bits->GetBit(0), 0xFFFF) << label;
        EXPECT_EQ(bits->GetBit(1), 0) << label;
        EXPECT_EQ(bits->GetBit(9), 0xFFFF) << label;
    }

    EXPECT_TRUE(accept(BuildWriteRegisterRequest(ascii, 3, 5, 7), "write_register")->IsValid());
    EXPECT_TRUE(accept(BuildWriteCoilRequest(ascii, 3, 4, true), "write_coil")->IsValid());
    const std::vector<std::uint16_t> values = {1, 2, 3};
    EXPECT_TRUE(
        accept(BuildWriteRegistersRequest(ascii, 3, 16, values), "write_registers")->IsValid());
    EXPECT_TRUE(accept(BuildDiagnosticRequest(ascii, 3), "diagnostic")->IsValid());

    // An exception answer is shorter than any read answer, and not valid even when stored.
    auto request = BuildReadRequest(ascii, 3, ReadArea::kHoldingRegister, 0, 1);
    EXPECT_NE(request->GetAnswerLength(), answers["exception"].size());
    request->SetAnswerLength(static_cast<std::uint16_t>(answers["exception"].size()));
    ASSERT_TRUE(request->StoreAnswer(answers["exception"], kAt));
    EXPECT_FALSE(request->IsValid());
}

TEST_F(PymodbusAsciiTest, PymodbusReadsOurRequests) {
    const MessageFraming ascii = MessageFraming::kAscii;
    const std::vector<std::uint16_t> values = {0x0102, 0xFFFF};
    std::vector<std::unique_ptr<OMessage>> requests;
    requests.push_back(BuildReadRequest(ascii, 3, ReadArea::kHoldingRegister, 0x10, 3));
    requests.push_back(BuildReadRequest(ascii, 3, ReadArea::kEventSignal, 5, 16));
    requests.push_back(BuildStatusRequest(ascii, 3));
    requests.push_back(BuildWriteRegistersRequest(ascii, 3, 0x20, values));
    requests.push_back(BuildWriteCoilRequest(ascii, 3, 9, true));
    requests.push_back(BuildDiagnosticRequest(ascii, 3));
    char path[] = "/tmp/velk-ascii-requests-XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    {
        std::ofstream file(path);
        for (const auto& request : requests) {
            file << ToHex(request->Frame()) << "\n";
        }
    }
    const auto lines = RunScript(std::string("decode ") + path);
    std::remove(path);
    ASSERT_EQ(lines.size(), requests.size());
    EXPECT_EQ(lines[0], "fc=3 address=16 count=3");
    EXPECT_EQ(lines[1], "fc=1 address=2053 count=16");
    EXPECT_EQ(lines[2], "fc=1 address=2048 count=640");
    EXPECT_EQ(lines[3], "fc=16 address=32 count=2 values=[258, 65535]");
    EXPECT_EQ(lines[4], "fc=5 address=9 value=True");
    EXPECT_EQ(lines[5], "fc=8 sub_function_code=0 message=61680");
}

}  // namespace
}  // namespace velk
