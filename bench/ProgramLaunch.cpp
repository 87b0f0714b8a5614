#include "ProgramLaunch.h"

#include <QFile>
#include <QFileInfo>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#ifdef __linux__
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <fstream>

extern char **environ;
#endif

#ifndef CATRACA_SHOWN_PROBE
#define CATRACA_SHOWN_PROBE ""
#endif

namespace Catraca {

namespace ProgramLaunch {

#ifdef __linux__

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kShownTimeoutMs = 30000;

std::vector<std::string> ChildEnvironment(int shownFd)
{
    std::vector<std::string> environment;
    for (char **entry = environ; *entry; ++entry) {
        const std::string variable = *entry;
        if (variable.rfind("QT_QPA_PLATFORM=", 0) == 0 || variable.rfind("LD_PRELOAD=", 0) == 0
            || variable.rfind("BENCH_SHOWN_FD=", 0) == 0)
            continue;
        environment.push_back(variable);
    }
    environment.push_back("QT_QPA_PLATFORM=offscreen");
    environment.push_back(std::string("LD_PRELOAD=") + CATRACA_SHOWN_PROBE);
    environment.push_back("BENCH_SHOWN_FD=" + std::to_string(shownFd));
    return environment;
}

long long ResidentBytes(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stoll(line.substr(6)) * 1024;  // the kernel writes kB
    throw std::runtime_error("no VmRSS for the program under measurement");
}

// Owns the child process: killed and reaped whatever happens.
class Child {
public:
    explicit Child(pid_t pid) : pid_(pid) {}
    ~Child()
    {
        ::kill(pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
    pid_t Pid() const { return pid_; }

private:
    pid_t pid_;
};

class Pipe {
public:
    Pipe()
    {
        if (::pipe2(fds_, O_CLOEXEC) != 0)
            throw std::runtime_error("cannot create a pipe");
        // The child inherits the write end only.
        ::fcntl(fds_[1], F_SETFD, 0);
    }
    ~Pipe()
    {
        CloseWriteEnd();
        ::close(fds_[0]);
    }
    int ReadEnd() const { return fds_[0]; }
    int WriteEnd() const { return fds_[1]; }
    void CloseWriteEnd()
    {
        if (fds_[1] >= 0)
            ::close(fds_[1]);
        fds_[1] = -1;
    }

private:
    int fds_[2] = {-1, -1};
};

}  // namespace

bool Supported() { return std::string(CATRACA_SHOWN_PROBE).size() > 0; }

Result RunUntilShown(const QString &program, double idleSeconds)
{
    if (!Supported())
        throw std::runtime_error("the start-up probe was not built");
    Pipe shown;
    std::vector<std::string> environment = ChildEnvironment(shown.WriteEnd());
    std::vector<char *> environmentPointers;
    for (std::string &variable : environment)
        environmentPointers.push_back(variable.data());
    environmentPointers.push_back(nullptr);
    std::string programPath = QFile::encodeName(program).toStdString();
    char *arguments[] = {programPath.data(), nullptr};

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);

    const Clock::time_point start = Clock::now();
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, programPath.c_str(), &actions, nullptr, arguments,
                                    environmentPointers.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        throw std::runtime_error("cannot start " + programPath);
    Child child(pid);
    shown.CloseWriteEnd();

    pollfd waitFor{shown.ReadEnd(), POLLIN, 0};
    char byte = 0;
    if (::poll(&waitFor, 1, kShownTimeoutMs) != 1 || ::read(shown.ReadEnd(), &byte, 1) != 1)
        throw std::runtime_error(programPath + " showed no window (it ended or took over 30 s)");
    Result result;
    result.secondsUntilShown = std::chrono::duration<double>(Clock::now() - start).count();
    if (idleSeconds > 0) {
        std::this_thread::sleep_for(std::chrono::duration<double>(idleSeconds));
        result.idleResidentBytes = ResidentBytes(child.Pid());
    }
    return result;
}

#else

bool Supported() { return false; }

Result RunUntilShown(const QString &, double)
{
    throw std::runtime_error("start-up is measured on Linux only");
}

#endif

QString CopyIntoFolder(const QString &executable, const QString &folder, bool withEmptyCache)
{
    if (executable.isEmpty() || !QFileInfo::exists(executable))
        throw std::runtime_error("program not built: " + executable.toStdString());
    const QString copy = folder + QFileInfo(executable).fileName();
    QFile::remove(copy);
    if (!QFile::copy(executable, copy))
        throw std::runtime_error("cannot copy " + executable.toStdString());
    QFile::setPermissions(copy, QFile::permissions(executable) | QFileDevice::ExeOwner);
    if (withEmptyCache) {
        QFile cache(folder + QStringLiteral("data.cds"));
        if (!cache.open(QIODevice::WriteOnly | QIODevice::Truncate))
            throw std::runtime_error("cannot create the empty data.cds");
    }
    return copy;
}

}  // namespace ProgramLaunch

}  // namespace Catraca
