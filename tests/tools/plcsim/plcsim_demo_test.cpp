// The demo's values as the server reads them: its REAL decoded in the server's word order.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>

#include "modbus/tag_value_decoder.h"
#include "tools/plcsim/demo_driver.h"

namespace velk::plcsim {
namespace {

// The REAL at holding 2 after the demo's steps 0 to `steps` - 1, read as the server reads a
// device with the given "Word Swap" setting.
float RealAfter(int steps, bool simulatorWordSwap, bool deviceWordSwap) {
    ProcessImage image(4096);
    ControllerEventBuffer events(image, kDeviceTypeKestrel, {});
    DemoDriver demo(simulatorWordSwap);
    LocalTime now;
    for (int i = 0; i < steps; ++i) demo.Step(image, events, now);
    const std::uint16_t registers[] = {image.Word(Table::kHolding, 2),
                                       image.Word(Table::kHolding, 3)};
    return std::bit_cast<float>(static_cast<std::uint32_t>(JoinWords(registers, deviceWordSwap)));
}

TEST(PlcsimDemo, TheRealReadsAsTheServerReadsADeviceOfTheSameWordOrder) {
    // Step 20 is 10 s into the 40 s period: the wave's top, 50; step 60 its bottom.
    EXPECT_FLOAT_EQ(RealAfter(21, false, false), 50.0f) << "the default of both sides";
    EXPECT_FLOAT_EQ(RealAfter(61, false, false), -50.0f);
    EXPECT_FLOAT_EQ(RealAfter(21, true, true), 50.0f) << "--word-swap for a Word Swap device";
}

}  // namespace
}  // namespace velk::plcsim
