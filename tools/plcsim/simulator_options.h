#pragma once
// Command-line options of velkopc-plcsim.
#include <cstdint>
#include <string>
#include <vector>

#include "modbus/event_buffer_layout.h"
#include "modbus/message_framing.h"

namespace velk::plcsim {

struct ChannelOption {
    MessageFraming framing = MessageFraming::kTcp;
    std::string host;        // TCP: IPv4 address to listen on
    std::uint16_t port = 0;  // TCP: 0 picks a free port
    std::string device;      // serial: device path
};

struct Preset {
    char table = 'h';  // h holding, i input, c coil, d discrete
    std::uint32_t address = 0;
    std::uint16_t value = 0;
};

struct SimulatorOptions {
    std::vector<ChannelOption> channels;
    std::uint32_t baud = 9600;
    char parity = 'N';  // N, E, O
    int dataBits = 0;   // 0: 8 for RTU, 7 for ASCII
    int stopBits = 1;
    std::uint8_t unit = 1;
    std::size_t imageSize = 4096;
    int deviceType = kDeviceTypeKestrel;
    EventBufferSettings eventStack;
    std::vector<Preset> presets;
    std::string controlPath;  // Unix socket for control commands; empty: none
    bool readStdin = true;
    bool demo = false;
    bool wordSwap = false;  // the demo's 32-bit values high word first
    bool quiet = false;
};

// Parses argv; false with a message in error (or "help" for --help).
bool ParseOptions(int argc, char** argv, SimulatorOptions& options, std::string& error);

// The option summary printed by --help.
std::string Usage();

}  // namespace velk::plcsim
