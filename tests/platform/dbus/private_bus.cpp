#include "tests/platform/dbus/private_bus.h"

#include <csignal>
#include <fstream>

namespace velk::testing {

PrivateBus::~PrivateBus() { Stop(); }

void PrivateBus::Stop() {
    if (daemon_.Running()) {
        daemon_.Signal(SIGTERM);
        daemon_.Wait(std::chrono::seconds(10));
    }
}

bool PrivateBus::Start(const std::string& servicesDirectory, const std::string& extraConfig,
                       const std::vector<std::string>& environment) {
    const std::string config = directory_.File("bus.conf");
    {
        std::ofstream out(config);
        out << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-BUS Bus Configuration "
               "1.0//EN\"\n"
               " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
               "<busconfig>\n"
               "  <type>session</type>\n"
               "  <listen>unix:path="
            << directory_.File("bus-socket")
            << "</listen>\n"
               "  <auth>EXTERNAL</auth>\n";
        if (!servicesDirectory.empty())
            out << "  <servicedir>" << servicesDirectory << "</servicedir>\n";
        out << "  <policy context=\"default\">\n"
               "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
               "    <allow eavesdrop=\"true\"/>\n"
               "    <allow own=\"*\"/>\n"
               "  </policy>\n"
            << extraConfig << "</busconfig>\n";
    }
    if (!daemon_.Start("/usr/bin/dbus-daemon",
                       {"--config-file=" + config, "--nofork", "--nopidfile", "--print-address=1"},
                       environment, directory_.File("daemon.out"))) {
        problem_ = "dbus-daemon did not start";
        return false;
    }
    const bool printed = WaitUntil(
        [&] {
            const std::string output = ReadFile(directory_.File("daemon.out"));
            const auto start = output.find("unix:path=");
            if (start == std::string::npos) return false;
            const auto end = output.find('\n', start);
            if (end == std::string::npos) return false;
            address_ = output.substr(start, end - start);
            return true;
        },
        std::chrono::seconds(20));
    if (!printed) {
        problem_ = "dbus-daemon printed no address: " + ReadFile(directory_.File("daemon.out"));
        return false;
    }
    return true;
}

std::string PrivateBus::Output() const { return ReadFile(directory_.File("daemon.out")); }

}  // namespace velk::testing
