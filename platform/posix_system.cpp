#include <fcntl.h>
#include <limits.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "platform/files.h"
#include "platform/system.h"

namespace corvane::platform {

std::optional<LocalTime> LocalTimeOf(std::int64_t secondsSinceEpoch) {
    time_t t = time_t(secondsSinceEpoch);
    struct tm local {};
    if (!::localtime_r(&t, &local)) return std::nullopt;
    return LocalTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                     local.tm_min};
}

std::string ExecutableFolder() {
    char buffer[PATH_MAX + 1];
    ssize_t n = ::readlink("/proc/self/exe", buffer, PATH_MAX);
    if (n <= 0) throw FileError("find the folder of", "/proc/self/exe", errno);
    std::string_view exe(buffer, size_t(n));
    return std::string(FolderOf(exe));
}

std::string AbsolutePath(const std::string& path) {
    std::error_code ec;
    std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    if (ec) return path;
    return absolute.lexically_normal().string();
}

Terminal TerminalOn(int fd) {
    return ::isatty(fd) == 1 ? Terminal::kSequences : Terminal::kNone;
}

unsigned TerminalColumns(int fd) {
    struct winsize size {};
    if (::ioctl(fd, TIOCGWINSZ, &size) != 0) return 0;
    return size.ws_col;
}

bool OpenDocument(const std::string& path) {
    // xdg-open in a grandchild, so that nobody waits for the program it
    // starts; a pipe closed on exec tells whether the exec worked.
    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0) return false;
    pid_t child = ::fork();
    if (child < 0) {
        ::close(pipeEnds[0]);
        ::close(pipeEnds[1]);
        return false;
    }
    if (child == 0) {
        ::setsid();
        if (::fork() != 0) ::_exit(0);
        const char* argv[] = {"xdg-open", path.c_str(), nullptr};
        ::execvp(argv[0], const_cast<char* const*>(argv));
        char failed = 1;
        (void)!::write(pipeEnds[1], &failed, 1);
        ::_exit(127);
    }
    ::close(pipeEnds[1]);
    int status = 0;
    ::waitpid(child, &status, 0);
    char failed = 0;
    ssize_t n;
    do {
        n = ::read(pipeEnds[0], &failed, 1);
    } while (n < 0 && errno == EINTR);
    ::close(pipeEnds[0]);
    return n == 0;
}

}  // namespace corvane::platform
