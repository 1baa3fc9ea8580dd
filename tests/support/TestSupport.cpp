#include "TestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <random>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>


namespace tq9test {

TempDir::TempDir()
{
    std::random_device rd;
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path candidate = fs::temp_directory_path() / ("tq9test-" + std::to_string(rd()));
        std::error_code ec;
        if (fs::create_directory(candidate, ec)) {
            m_path = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary test folder");
}

TempDir::~TempDir()
{
    std::error_code ec;
    fs::permissions(m_path, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(m_path, ec);
}

void WriteFile(const fs::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

fs::path MakeCard(const fs::path& root, const std::vector<int>& numberedFolders)
{
    fs::path device = root / "TQ-9";
    fs::create_directories(device);
    // Off FAT the marker is hidden by its leading dot.
    WriteFile(device / ".TQ-9_SD.PRM", "");
    for (int n : numberedFolders) {
        char name[16];
        std::snprintf(name, sizeof name, "TQ9_%04d", n);
        fs::create_directories(device / name);
    }
    return device;
}

namespace {

// In a forked child: stdin from /dev/null, stdout and stderr to the descriptors given, env added, then exec.
[[noreturn]] void execChild(const std::vector<std::string>& argv, const std::vector<std::string>& env, int outFd,
                            int errFd)
{
    int devnull = ::open("/dev/null", O_RDWR);
    ::dup2(devnull, 0);
    ::dup2(outFd < 0 ? devnull : outFd, 1);
    ::dup2(errFd, 2);
    for (const auto& e : env)
        ::putenv(const_cast<char*>(e.c_str()));
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execvp(args[0], args.data());
    _exit(127);
}

} // namespace

pid_t SpawnProcess(const std::vector<std::string>& argv, const std::vector<std::string>& env, int& errFd)
{
    int errPipe[2];
    if (::pipe2(errPipe, O_CLOEXEC) != 0)
        return -1;
    const pid_t pid = ::fork();
    if (pid == 0)
        execChild(argv, env, -1, errPipe[1]);
    ::close(errPipe[1]);
    errFd = errPipe[0];
    return pid;
}

std::string HexBytes(const std::string& bytes)
{
    std::string out;
    for (unsigned char c : bytes) {
        char b[4];
        std::snprintf(b, sizeof b, "%02X", c);
        out += b;
    }
    return out;
}

ProcessResult RunProcess(const std::vector<std::string>& argv, const std::vector<std::string>& env)
{
    ProcessResult r;
    int outPipe[2], errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0)
        return r;
    pid_t pid = ::fork();
    if (pid == 0)
        execChild(argv, env, outPipe[1], errPipe[1]);
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    // Read both pipes together so neither can fill up and stall the child.
    struct pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    bool open[2] = {true, true};
    std::array<char, 4096> buf;
    while (open[0] || open[1]) {
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (!open[i] || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            ssize_t n = ::read(fds[i].fd, buf.data(), buf.size());
            if (n > 0)
                (i == 0 ? r.out : r.err).append(buf.data(), static_cast<size_t>(n));
            else if (n == 0 || errno != EINTR) {
                open[i] = false;
                fds[i].fd = -1;
            }
        }
    }
    ::close(outPipe[0]);
    ::close(errPipe[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return r;
}

fs::path BinPath(const std::string& name)
{
    // TQ9_TEST_BIN_DIR runs the end-to-end tests against the programs of another build (an older one, to
    // see a new test fail there).
    const char* other = std::getenv("TQ9_TEST_BIN_DIR");
    return fs::path(other && *other ? other : TQ9_BIN_DIR) / name;
}

fs::path SynthMedia(const std::string& name, const std::vector<std::string>& args)
{
    fs::path cache(TQ9_TEST_CACHE);
    fs::create_directories(cache);
    fs::path out = cache / name;
    if (fs::exists(out) && fs::file_size(out) > 0)
        return out;
    // Write under a private name and rename, so parallel test programs never see half a file.
    fs::path part = cache / (".part-" + std::to_string(::getpid()) + "-" + name);
    std::vector<std::string> argv = {"ffmpeg", "-nostdin", "-y", "-loglevel", "error"};
    argv.insert(argv.end(), args.begin(), args.end());
    argv.push_back(part.string());
    ProcessResult r = RunProcess(argv);
    if (r.exitCode != 0) {
        ADD_FAILURE() << "ffmpeg could not synthesise " << name << ": " << r.err;
        return out;
    }
    fs::rename(part, out);
    return out;
}

Rgb DecodedPixel(const fs::path& file, int x, int y)
{
    ProcessResult r = RunProcess({"ffmpeg", "-nostdin", "-v", "error", "-i", file.string(), "-frames:v", "1", "-vf",
        "format=rgb24,crop=1:1:" + std::to_string(x) + ":" + std::to_string(y), "-f", "rawvideo", "-"});
    if (r.exitCode != 0 || r.out.size() != 3)
        return {};
    const auto at = [&](size_t i) { return static_cast<int>(static_cast<unsigned char>(r.out[i])); };
    return {at(0), at(1), at(2)};
}

std::string Probe(const fs::path& file, const std::string& entries, const std::string& select)
{
    std::vector<std::string> argv = {"ffprobe", "-v", "error"};
    if (!select.empty()) {
        argv.push_back("-select_streams");
        argv.push_back(select);
    }
    argv.insert(argv.end(), {"-show_entries", entries, "-of", "default=nw=1", file.string()});
    return RunProcess(argv).out;
}

bool ReadUntil(int fd, const std::string& needle, std::string& text)
{
    char buf[4096];
    while (text.find(needle) == std::string::npos) {
        pollfd pfd {fd, POLLIN, 0};
        if (::poll(&pfd, 1, 30000) <= 0)
            return false;
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0)
            return false;
        text.append(buf, static_cast<size_t>(n));
    }
    return true;
}

} // namespace tq9test

tq9test::Interrupted tq9test::InterruptWhenSeen(pid_t pid, int errFd, const std::string& marker)
{
    tq9test::Interrupted r;
    char buf[4096];
    for (;;) {
        pollfd pfd{errFd, POLLIN, 0};
        if (::poll(&pfd, 1, 30000) <= 0)
            break;
        const ssize_t n = ::read(errFd, buf, sizeof buf);
        if (n <= 0)
            break;
        r.err.append(buf, static_cast<size_t>(n));
        if (!r.sent && r.err.find(marker) != std::string::npos) {
            ::kill(pid, SIGINT);
            r.sent = true;
        }
    }
    ::close(errFd);
    ::waitpid(pid, &r.status, 0);
    return r;
}
