#include "tests/support/plcsim_process.h"

#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <thread>

namespace velk::test {
namespace {

std::string MakeDirectory() {
    char pattern[] = "/tmp/velk-plcsim-XXXXXX";
    const char* made = mkdtemp(pattern);
    return made ? made : "/tmp";
}

void StopChild(pid_t& pid) {
    if (pid <= 0) {
        return;
    }
    kill(pid, SIGTERM);
    for (int i = 0; i < 50; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) {
            pid = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    pid = -1;
}

}  // namespace

bool HaveProgram(const std::string& name) {
    const std::string command = "command -v " + name + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

PlcsimProcess::PlcsimProcess() : directory_(MakeDirectory()) {}

PlcsimProcess::~PlcsimProcess() {
    Stop();
    const std::string remove = "rm -rf '" + directory_ + "'";
    if (directory_.rfind("/tmp/velk-plcsim-", 0) == 0) {
        [[maybe_unused]] int ignored = std::system(remove.c_str());
    }
}

bool PlcsimProcess::Start(const std::vector<std::string>& arguments, std::string& error) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
        error = "pipe failed";
        return false;
    }
    std::vector<std::string> all = {VELK_PLCSIM_PATH};
    all.insert(all.end(), arguments.begin(), arguments.end());
    all.insert(all.end(), {"--no-stdin", "--control", directory_ + "/control"});
    pid_ = fork();
    if (pid_ == 0) {
        dup2(pipeFds[1], STDOUT_FILENO);
        dup2(pipeFds[1], STDERR_FILENO);
        close(pipeFds[0]);
        close(pipeFds[1]);
        std::vector<char*> argv;
        for (std::string& argument : all) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(pipeFds[1]);
    output_ = pipeFds[0];
    std::string text;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd wait = {output_, POLLIN, 0};
        if (poll(&wait, 1, 100) <= 0) {
            continue;
        }
        char buffer[512];
        const ssize_t count = read(output_, buffer, sizeof buffer);
        if (count <= 0) {
            break;
        }
        text.append(buffer, static_cast<std::size_t>(count));
        if (text.find("plcsim: ready\n") != std::string::npos) {
            std::istringstream lines(text);
            for (std::string line; std::getline(lines, line);) {
                int channel = 0;
                char host[64];
                int port = 0;
                if (std::sscanf(line.c_str(), "plcsim: channel %d tcp %63[^:]:%d", &channel, host,
                                &port) == 3) {
                    ports_[channel] = port;
                }
            }
            return true;
        }
    }
    error = "simulator did not start: " + text;
    return false;
}

int PlcsimProcess::TcpPort(int channel) const {
    const auto it = ports_.find(channel);
    return it == ports_.end() ? 0 : it->second;
}

std::string PlcsimProcess::Command(const std::string& line) {
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = directory_ + "/control";
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return "error: no control socket";
    }
    const std::string request = line + "\n";
    [[maybe_unused]] ssize_t sent = write(fd, request.data(), request.size());
    std::string reply;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd wait = {fd, POLLIN, 0};
        if (poll(&wait, 1, 100) <= 0) {
            continue;
        }
        char buffer[1024];
        const ssize_t count = read(fd, buffer, sizeof buffer);
        if (count <= 0) {
            break;
        }
        reply.append(buffer, static_cast<std::size_t>(count));
        const bool ok = reply == "ok\n" || (reply.size() >= 4 && reply.ends_with("\nok\n"));
        const auto errorAt = reply.rfind("error: ");
        if (ok) {
            reply.resize(reply.size() - 3);
            break;
        }
        if (errorAt != std::string::npos && reply.ends_with("\n")) {
            break;
        }
    }
    close(fd);
    return reply;
}

std::string PlcsimProcess::ReportText(const std::string& key) {
    std::istringstream lines(Command("report"));
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind(key + "=", 0) == 0) {
            return line.substr(key.size() + 1);
        }
    }
    return {};
}

long PlcsimProcess::ReportValue(const std::string& key) {
    const std::string text = ReportText(key);
    return text.empty() ? -1 : std::strtol(text.c_str(), nullptr, 10);
}

void PlcsimProcess::Stop() {
    StopChild(pid_);
    if (output_ >= 0) {
        close(output_);
        output_ = -1;
    }
}

PtyPair::~PtyPair() { Stop(); }

bool PtyPair::Start(const std::string& first, const std::string& second) {
    if (!HaveProgram("socat")) {
        return false;
    }
    pid_ = fork();
    if (pid_ == 0) {
        const std::string a = "pty,raw,echo=0,link=" + first;
        const std::string b = "pty,raw,echo=0,link=" + second;
        execlp("socat", "socat", a.c_str(), b.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    for (int i = 0; i < 100; ++i) {
        struct stat info;
        if (lstat(first.c_str(), &info) == 0 && lstat(second.c_str(), &info) == 0) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

void PtyPair::Stop() { StopChild(pid_); }

}  // namespace velk::test
