#include "tools/plcsim/command_interpreter.h"

#include <charconv>
#include <cstdio>
#include <sstream>
#include <vector>

#include "tools/plcsim/local_now.h"
#include "tools/plcsim/plc_simulator.h"

namespace velk::plcsim {
namespace {

using Words = std::vector<std::string>;

struct Failure {
    std::string reason;
};

Words Split(std::string_view line) {
    Words words;
    std::istringstream stream{std::string(line)};
    for (std::string word; stream >> word;) {
        words.push_back(word);
    }
    return words;
}

long Number(const std::string& text, long low, long high, const char* what) {
    std::string_view digits = text;
    int base = 10;
    if (digits.size() > 2 && (digits.substr(0, 2) == "0x" || digits.substr(0, 2) == "0X")) {
        digits.remove_prefix(2);
        base = 16;
    }
    long value = 0;
    const auto [end, ec] =
        std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
    if (ec != std::errc() || end != digits.data() + digits.size() || value < low || value > high) {
        throw Failure{std::string("bad ") + what + " '" + text + "'"};
    }
    return value;
}

Table TableNamed(const std::string& name) {
    if (name == "holding" || name == "h") return Table::kHolding;
    if (name == "input" || name == "i") return Table::kInput;
    if (name == "coil" || name == "c") return Table::kCoil;
    if (name == "discrete" || name == "d") return Table::kDiscrete;
    throw Failure{"unknown table '" + name + "' (holding, input, coil, discrete)"};
}

bool IsBitTable(Table table) { return table == Table::kCoil || table == Table::kDiscrete; }

// Takes a trailing "key=value" argument out of the words; empty when absent.
std::string TakeKey(Words& words, const std::string& key) {
    for (auto it = words.begin(); it != words.end(); ++it) {
        if (it->rfind(key + "=", 0) == 0) {
            std::string value = it->substr(key.size() + 1);
            words.erase(it);
            return value;
        }
    }
    return {};
}

// The channels a fault command applies to: ch=N, or all of them.
std::vector<int> Channels(PlcSimulator& simulator, Words& words) {
    const std::string channel = TakeKey(words, "ch");
    if (!channel.empty()) {
        return {static_cast<int>(Number(channel, 1, simulator.ChannelCount(), "channel"))};
    }
    std::vector<int> all;
    for (int i = 1; i <= simulator.ChannelCount(); ++i) {
        all.push_back(i);
    }
    return all;
}

// The master areas an event command applies to: area=1, area=2 or both (default).
std::vector<int> Areas(Words& words) {
    const std::string area = TakeKey(words, "area");
    if (area.empty() || area == "both") {
        return {0, 1};
    }
    return {static_cast<int>(Number(area, 1, 2, "area")) - 1};
}

// COUNT, "all" or absent (one).
int Count(const Words& words, std::size_t index) {
    if (words.size() <= index) {
        return 1;
    }
    if (words[index] == "all") {
        return FaultPlan::kAlways;
    }
    return static_cast<int>(Number(words[index], 0, 1'000'000, "count"));
}

void NeedArguments(const Words& words, std::size_t count, const char* usage) {
    if (words.size() < count + 1) {
        throw Failure{std::string("usage: ") + usage};
    }
}

EventRecord RecordAtNow(std::uint16_t signal, bool state) {
    const LocalTime now = LocalNow();
    EventRecord record;
    record.signal = signal;
    record.state = state;
    record.hour = now.hour;
    record.minute = now.minute;
    record.second = now.second;
    record.millisecond = now.millisecond;
    return record;
}

void ParseTime(const std::string& text, EventRecord& record) {
    int hour = 0, minute = 0, second = 0, millisecond = 0;
    const int fields =
        std::sscanf(text.c_str(), "%d:%d:%d.%d", &hour, &minute, &second, &millisecond);
    if (fields < 3 || hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 ||
        second > 59 || millisecond < 0 || millisecond > 999) {
        throw Failure{"bad time '" + text + "' (HH:MM:SS[.mmm])"};
    }
    record.hour = hour;
    record.minute = minute;
    record.second = second;
    record.millisecond = millisecond;
}

std::string Report(PlcSimulator& simulator) {
    std::ostringstream text;
    const SlaveCounters& counters = simulator.Slave().Counters();
    text << "requests=" << counters.requests << "\n";
    for (const auto& [function, count] : counters.byFunction) {
        text << "requests.fc" << function << "=" << count << "\n";
    }
    for (const auto& [channel, count] : counters.byChannel) {
        text << "requests.ch" << channel << "=" << count << "\n";
    }
    text << "answers=" << counters.answers << "\n";
    text << "exceptions=" << counters.exceptions << "\n";
    const auto& sync = simulator.Slave().LastTimeSync();
    text << "timesync.count=" << (sync ? sync->count : 0) << "\n";
    if (sync) {
        char stamp[64];
        std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d.%03d", sync->time.year,
                      sync->time.month, sync->time.day, sync->time.hour, sync->time.minute,
                      sync->time.second, sync->time.millisecond);
        text << "timesync.last=" << stamp << "\n";
        text << "timesync.channel=" << sync->channel << "\n";
    }
    text << simulator.TransportReport();
    return text.str();
}

std::string Execute(PlcSimulator& simulator, Words words) {
    const std::string& command = words[0];
    std::ostringstream out;
    ProcessImage& image = simulator.Image();
    if (command == "help") {
        return CommandHelp();
    }
    if (command == "set") {
        NeedArguments(words, 3, "set TABLE ADDR VALUE...");
        const Table table = TableNamed(words[1]);
        auto address = static_cast<std::uint32_t>(Number(words[2], 0, 65535, "address"));
        for (std::size_t i = 3; i < words.size(); ++i, ++address) {
            const bool stored =
                IsBitTable(table)
                    ? image.SetBit(table, address, Number(words[i], 0, 1, "bit") != 0)
                    : image.SetWord(
                          table, address,
                          static_cast<std::uint16_t>(Number(words[i], -32768, 65535, "value")));
            if (!stored) {
                throw Failure{"address " + std::to_string(address) + " outside the image"};
            }
        }
        return {};
    }
    if (command == "get") {
        NeedArguments(words, 2, "get TABLE ADDR [COUNT]");
        const Table table = TableNamed(words[1]);
        const auto address = static_cast<std::uint32_t>(Number(words[2], 0, 65535, "address"));
        const auto count =
            words.size() > 3 ? static_cast<std::uint32_t>(Number(words[3], 1, 2000, "count")) : 1;
        if (!image.Contains(address, count)) {
            throw Failure{"outside the image"};
        }
        for (std::uint32_t i = 0; i < count; ++i) {
            out << (i ? " " : "")
                << (IsBitTable(table) ? image.Bit(table, address + i)
                                      : image.Word(table, address + i));
        }
        out << "\n";
        return out.str();
    }
    if (command == "signal") {
        NeedArguments(words, 2, "signal N 0|1");
        const auto signal = static_cast<std::uint16_t>(Number(words[1], 0, 0xFFFF, "signal"));
        if (!simulator.Events().SetSignal(signal, Number(words[2], 0, 1, "state") != 0)) {
            throw Failure{"signal coil outside the image"};
        }
        return {};
    }
    if (command == "event") {
        const std::vector<int> areas = Areas(words);
        const std::string at = TakeKey(words, "at");
        NeedArguments(words, 2, "event N 0|1 [at=HH:MM:SS.mmm] [area=1|2|both]");
        EventRecord record =
            RecordAtNow(static_cast<std::uint16_t>(Number(words[1], 0, 0xFFFF, "signal")),
                        Number(words[2], 0, 1, "state") != 0);
        if (!at.empty()) {
            ParseTime(at, record);
        }
        for (int area : areas) {
            simulator.Events().Append(area, record);
        }
        return {};
    }
    if (command == "overrun" || command == "clear-events") {
        for (int area : Areas(words)) {
            command == "overrun" ? simulator.Events().SetOverrun(area)
                                 : simulator.Events().Clear(area);
        }
        return {};
    }
    if (command == "events") {
        for (int area : Areas(words)) {
            const auto location = simulator.Events().Location(area);
            out << "area " << area + 1 << " base=" << location.base << " size=" << location.size
                << " records=" << simulator.Events().Records(area).size()
                << " capacity=" << simulator.Events().Capacity(area)
                << " overrun=" << (simulator.Events().Overrun(area) ? 1 : 0) << "\n";
        }
        return out.str();
    }
    if (command == "silent" || command == "delay" || command == "exception" ||
        command == "wrong-length" || command == "split" || command == "hangup" ||
        command == "clear-faults") {
        const std::vector<int> channels = Channels(simulator, words);
        const std::string gap = TakeKey(words, "gap");
        const std::string parts = TakeKey(words, "parts");
        for (int channel : channels) {
            FaultPlan& faults = simulator.Faults(channel);
            if (command == "clear-faults") {
                faults = FaultPlan{};
            } else if (command == "silent") {
                NeedArguments(words, 1, "silent on|off [ch=N]");
                faults.silent = words[1] == "on";
            } else if (command == "delay") {
                NeedArguments(words, 1, "delay MS [ch=N]");
                faults.delayMs = static_cast<int>(Number(words[1], 0, 600'000, "delay"));
            } else if (command == "exception") {
                NeedArguments(words, 1, "exception CODE|off [COUNT|all] [ch=N]");
                if (words[1] == "off") {
                    faults.exceptionCount = 0;
                } else {
                    faults.exceptionCode =
                        static_cast<std::uint8_t>(Number(words[1], 1, 255, "code"));
                    faults.exceptionCount = Count(words, 2);
                }
            } else if (command == "wrong-length") {
                NeedArguments(words, 1, "wrong-length DELTA|off [COUNT|all] [ch=N]");
                if (words[1] == "off") {
                    faults.lengthCount = 0;
                } else {
                    faults.lengthDelta = static_cast<int>(Number(words[1], -255, 255, "delta"));
                    faults.lengthCount = Count(words, 2);
                }
            } else if (command == "split") {
                faults.splitCount = words.size() > 1 && words[1] == "off" ? 0 : Count(words, 1);
                if (!gap.empty()) {
                    faults.splitGapMs = static_cast<int>(Number(gap, 0, 60'000, "gap"));
                }
                if (!parts.empty()) {
                    faults.splitParts = static_cast<int>(Number(parts, 2, 512, "parts"));
                }
            } else {
                faults.hangupCount = words.size() > 1 && words[1] == "off" ? 0 : Count(words, 1);
            }
        }
        return {};
    }
    if (command == "close") {
        for (int channel : Channels(simulator, words)) {
            simulator.CloseConnections(channel);
        }
        return {};
    }
    if (command == "cut" || command == "restore") {
        NeedArguments(words, 1, "cut|restore N");
        const int channel =
            static_cast<int>(Number(words[1], 1, simulator.ChannelCount(), "channel"));
        std::string error;
        if (command == "cut") {
            simulator.CutChannel(channel);
        } else if (!simulator.RestoreChannel(channel, error)) {
            throw Failure{error};
        }
        return {};
    }
    if (command == "channels") {
        return simulator.DescribeChannels();
    }
    if (command == "report") {
        return Report(simulator);
    }
    if (command == "reset-counts") {
        simulator.Slave().ResetCounters();
        simulator.ResetTransportCounters();
        return {};
    }
    if (command == "quit") {
        simulator.Quit();
        return {};
    }
    throw Failure{"unknown command '" + command + "' (try help)"};
}

}  // namespace

std::string CommandHelp() {
    return "set TABLE ADDR VALUE...        write values (holding, input, coil, discrete)\n"
           "get TABLE ADDR [COUNT]         read values\n"
           "signal N 0|1                   set event-signal coil 0x0800+N\n"
           "event N 0|1 [at=HH:MM:SS.mmm] [area=1|2|both]  append an event record\n"
           "overrun [area=...]             end the buffer with the overrun mark\n"
           "clear-events [area=...]        empty the event buffer\n"
           "events [area=...]              show the event buffers\n"
           "silent on|off [ch=N]           stop answering\n"
           "delay MS [ch=N]                answer late\n"
           "exception CODE|off [COUNT|all] [ch=N]   answer with an exception\n"
           "wrong-length DELTA|off [COUNT|all] [ch=N]  add or cut bytes of answers\n"
           "split [COUNT|all|off] [gap=MS] [parts=N] [ch=N]  send answers in parts (TCP segments)\n"
           "hangup [COUNT|all|off] [ch=N]  close the connection instead of answering\n"
           "clear-faults [ch=N]            switch every fault off\n"
           "close [ch=N]                   close the open TCP connections\n"
           "cut N / restore N              take channel N off the line and back\n"
           "channels                       list the channels\n"
           "report                         counts received and the last time sync\n"
           "reset-counts                   zero the counts\n"
           "quit\n";
}

std::string ExecuteCommand(PlcSimulator& simulator, std::string_view line) {
    Words words = Split(line);
    if (words.empty() || words[0][0] == '#') {
        return {};
    }
    try {
        return Execute(simulator, std::move(words)) + "ok\n";
    } catch (const Failure& failure) {
        return "error: " + failure.reason + "\n";
    }
}

}  // namespace velk::plcsim
