#include "tests/support/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

extern char** environ;

namespace velk::testing {

ChildProcess::~ChildProcess() {
    if (Running()) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
}

bool ChildProcess::Start(const std::string& program, const std::vector<std::string>& arguments,
                         const std::vector<std::string>& environment,
                         const std::string& outputPath) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        bool overridden = false;
        for (const auto& add : environment) overridden |= add.rfind(name + "=", 0) == 0;
        if (!overridden) env.push_back(entry);
    }
    env.insert(env.end(), environment.begin(), environment.end());
    std::vector<std::string> args = {program};
    args.insert(args.end(), arguments.begin(), arguments.end());

    pid_ = ::fork();
    if (pid_ < 0) return false;
    if (pid_ == 0) {
        const int out = ::open(outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out >= 0) {
            ::dup2(out, STDOUT_FILENO);
            ::dup2(out, STDERR_FILENO);
        }
        const int null = ::open("/dev/null", O_RDONLY);
        if (null >= 0) ::dup2(null, STDIN_FILENO);
        // Signals blocked in the test (none by default) must not be inherited.
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        std::vector<char*> argv, envp;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        for (auto& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        ::execve(program.c_str(), argv.data(), envp.data());
        ::_exit(127);
    }
    return true;
}

bool ChildProcess::Signal(int signal) { return pid_ > 0 && ::kill(pid_, signal) == 0; }

int ChildProcess::Wait(std::chrono::milliseconds timeout) {
    if (pid_ <= 0) return status_;
    const bool ended = WaitUntil(
        [this] {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                status_ = status;
                return true;
            }
            return false;
        },
        timeout);
    if (!ended) return -1;
    pid_ = -1;
    return status_;
}

bool ChildProcess::Running() {
    if (pid_ <= 0) return false;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        status_ = status;
        pid_ = -1;
        return false;
    }
    return true;
}

int RunProgram(const std::string& program, const std::vector<std::string>& arguments,
               const std::vector<std::string>& environment, const std::string& outputPath,
               std::chrono::milliseconds timeout) {
    ChildProcess child;
    if (!child.Start(program, arguments, environment, outputPath)) return -1;
    const int status = child.Wait(timeout);
    if (status < 0 || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

TempDirectory::TempDirectory() {
    char pattern[] = "/tmp/velk-test-XXXXXX";
    const char* made = ::mkdtemp(pattern);
    path_ = made ? made : "/tmp";
}

TempDirectory::~TempDirectory() {
    if (path_.rfind("/tmp/velk-test-", 0) == 0) {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
}

}  // namespace velk::testing
