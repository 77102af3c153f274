#include "tools/plcsim/simulator_options.h"

#include <charconv>
#include <string_view>

namespace velk::plcsim {
namespace {

template <typename T>
bool ParseNumber(std::string_view text, T& value, int base = 10) {
    if (text.size() > 2 && (text.substr(0, 2) == "0x" || text.substr(0, 2) == "0X")) {
        text.remove_prefix(2);
        base = 16;
    }
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    return ec == std::errc() && end == text.data() + text.size();
}

bool ParseHostPort(std::string_view text, ChannelOption& channel) {
    const auto colon = text.rfind(':');
    if (colon == std::string_view::npos) {
        return false;
    }
    channel.host = std::string(text.substr(0, colon));
    if (channel.host.empty() || channel.host == "localhost") {
        channel.host = "127.0.0.1";
    }
    return ParseNumber(text.substr(colon + 1), channel.port);
}

bool ParsePreset(char table, std::string_view text, Preset& preset) {
    const auto equals = text.find('=');
    if (equals == std::string_view::npos) {
        return false;
    }
    preset.table = table;
    if (!ParseNumber(text.substr(0, equals), preset.address)) {
        return false;
    }
    int value = 0;
    if (!ParseNumber(text.substr(equals + 1), value) || value < -32768 || value > 65535) {
        return false;
    }
    if ((table == 'c' || table == 'd') && value != 0 && value != 1) {
        return false;
    }
    preset.value = static_cast<std::uint16_t>(value);
    return true;
}

}  // namespace

std::string Usage() {
    return "usage: velkopc-plcsim [options]\n"
           "  --tcp HOST:PORT        listen for Modbus TCP (repeatable: one channel each;\n"
           "                         port 0 picks a free port)\n"
           "  --rtu DEVICE           Modbus RTU slave on a serial device\n"
           "  --ascii DEVICE         Modbus ASCII slave on a serial device\n"
           "  --baud N               serial speed (default 9600)\n"
           "  --parity none|even|odd serial parity (default none)\n"
           "  --data-bits 7|8        (default 8 for RTU, 7 for ASCII)\n"
           "  --stop-bits 1|2        (default 1)\n"
           "  --unit N               slave address (default 1)\n"
           "  --holding ADDR=VALUE   preset a holding register (0-based, repeatable)\n"
           "  --input ADDR=VALUE     preset an input register\n"
           "  --coil ADDR=0|1        preset a coil\n"
           "  --discrete ADDR=0|1    preset a discrete input\n"
           "  --size N               entries per table (default 4096)\n"
           "  --device-type 0|1|2    event buffer layout: General, Kestrel, Tessera (default 1)\n"
           "  --event-stack M1,M2,N  General layout: bases and size in records\n"
           "  --control PATH         accept control commands on a Unix socket\n"
           "  --no-stdin             do not read control commands from standard input\n"
           "  --demo                 let values and event signals change over time\n"
           "  --word-swap            the demo's REAL high word first (a device with Word Swap);\n"
           "                         without it low word first, as the server reads by default\n"
           "  --quiet                no log lines, only command replies\n"
           "  --help\n";
}

bool ParseOptions(int argc, char** argv, SimulatorOptions& options, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view option = argv[i];
        const auto value = [&](std::string_view& out) {
            if (i + 1 >= argc) {
                error = std::string(option) + " needs a value";
                return false;
            }
            out = argv[++i];
            return true;
        };
        std::string_view text;
        if (option == "--help" || option == "-h") {
            error = "help";
            return false;
        } else if (option == "--no-stdin") {
            options.readStdin = false;
        } else if (option == "--demo") {
            options.demo = true;
        } else if (option == "--word-swap") {
            options.wordSwap = true;
        } else if (option == "--quiet") {
            options.quiet = true;
        } else if (!value(text)) {
            if (error.empty()) {
                error = "unknown option " + std::string(option);
            }
            return false;
        } else if (option == "--tcp") {
            ChannelOption channel;
            if (!ParseHostPort(text, channel)) {
                error = "--tcp wants HOST:PORT, got " + std::string(text);
                return false;
            }
            options.channels.push_back(channel);
        } else if (option == "--rtu" || option == "--ascii") {
            ChannelOption channel;
            channel.framing = option == "--rtu" ? MessageFraming::kRtu : MessageFraming::kAscii;
            channel.device = std::string(text);
            options.channels.push_back(channel);
        } else if (option == "--baud") {
            if (!ParseNumber(text, options.baud)) {
                error = "bad --baud " + std::string(text);
                return false;
            }
        } else if (option == "--parity") {
            if (text == "none") {
                options.parity = 'N';
            } else if (text == "even") {
                options.parity = 'E';
            } else if (text == "odd") {
                options.parity = 'O';
            } else {
                error = "--parity wants none, even or odd";
                return false;
            }
        } else if (option == "--data-bits") {
            if (!ParseNumber(text, options.dataBits) ||
                (options.dataBits != 7 && options.dataBits != 8)) {
                error = "--data-bits wants 7 or 8";
                return false;
            }
        } else if (option == "--stop-bits") {
            if (!ParseNumber(text, options.stopBits) ||
                (options.stopBits != 1 && options.stopBits != 2)) {
                error = "--stop-bits wants 1 or 2";
                return false;
            }
        } else if (option == "--unit") {
            unsigned unit = 0;
            if (!ParseNumber(text, unit) || unit < 1 || unit > 247) {
                error = "--unit wants 1 to 247";
                return false;
            }
            options.unit = static_cast<std::uint8_t>(unit);
        } else if (option == "--holding" || option == "--input" || option == "--coil" ||
                   option == "--discrete") {
            Preset preset;
            if (!ParsePreset(option[2], text, preset)) {
                error = "bad " + std::string(option) + " " + std::string(text);
                return false;
            }
            options.presets.push_back(preset);
        } else if (option == "--size") {
            if (!ParseNumber(text, options.imageSize) || options.imageSize == 0 ||
                options.imageSize > 65536) {
                error = "--size wants 1 to 65536";
                return false;
            }
        } else if (option == "--device-type") {
            if (!ParseNumber(text, options.deviceType) || options.deviceType < 0 ||
                options.deviceType > 2) {
                error = "--device-type wants 0, 1 or 2";
                return false;
            }
        } else if (option == "--event-stack") {
            const auto first = text.find(',');
            const auto second = text.find(',', first == std::string_view::npos ? 0 : first + 1);
            if (first == std::string_view::npos || second == std::string_view::npos ||
                !ParseNumber(text.substr(0, first), options.eventStack.master1) ||
                !ParseNumber(text.substr(first + 1, second - first - 1),
                             options.eventStack.master2) ||
                !ParseNumber(text.substr(second + 1), options.eventStack.size)) {
                error = "--event-stack wants MASTER1,MASTER2,RECORDS";
                return false;
            }
        } else if (option == "--control") {
            options.controlPath = std::string(text);
        } else {
            error = "unknown option " + std::string(option);
            return false;
        }
    }
    if (options.channels.empty()) {
        error = "give at least one --tcp, --rtu or --ascii channel";
        return false;
    }
    return true;
}

}  // namespace velk::plcsim
