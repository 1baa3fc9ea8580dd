// Copying a 200 MB file onto the same disk: the shell file operation's safe copy (1024-byte blocks,
// temporary name, fsync, rename) against `cp` followed by an fsync of the copy, measured in the same run.
// A third case repeats the safe copy's loop with 64 KiB blocks to show what the block size alone costs.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <unistd.h>
#include <string>
#include <vector>

#include "platform/FileIo.h"
#include "platform/ShellFileOperation.h"

namespace fs = std::filesystem;
using namespace tq9;

namespace {

constexpr size_t kFileSize = 200u << 20;

// The source file is made once per process, with bytes that do not compress or dedupe.
const fs::path& Workspace()
{
    static const fs::path dir = [] {
        fs::path d = fs::temp_directory_path() / ("tq9bench-" + std::to_string(::getpid()));
        fs::create_directories(d / "out");
        std::ofstream out(d / "source.bin", std::ios::binary);
        std::vector<char> block(1 << 20);
        uint32_t x = 12345;
        for (size_t written = 0; written < kFileSize; written += block.size()) {
            for (char& c : block)
                c = static_cast<char>((x = x * 1664525u + 1013904223u) >> 24);
            out.write(block.data(), static_cast<std::streamsize>(block.size()));
        }
        std::atexit([] { fs::remove_all(fs::temp_directory_path() / ("tq9bench-" + std::to_string(::getpid()))); });
        return d;
    }();
    return dir;
}

double Seconds(const std::function<void()>& f)
{
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double ReferenceCp()
{
    const fs::path target = Workspace() / "out" / "cp.bin";
    const std::string cmd = "cp '" + (Workspace() / "source.bin").string() + "' '" + target.string() +
                            "' && sync '" + target.string() + "'";
    const double s = Seconds([&] {
        if (std::system(cmd.c_str()) != 0)
            std::abort();
    });
    fs::remove(target);
    return s;
}

double SafeCopy()
{
    ShellFileOp op;
    op.func = FO_COPY;
    op.flags = FOF_MULTIDESTFILES | FOF_RENAMEONCOLLISION;
    op.from = {(Workspace() / "source.bin").string()};
    op.to = {(Workspace() / "out" / "safe.bin").string()};
    const double s = Seconds([&] {
        if (CShellFileOperation::Run(op) != 0)
            std::abort();
    });
    fs::remove(op.to[0]);
    return s;
}

// The same calls as the safe copy's loop, only with a larger block.
double LargeBlockCopy(size_t blockSize)
{
    const std::string to = (Workspace() / "out" / "large.bin").string();
    std::vector<char> buffer(blockSize);
    const double s = Seconds([&] {
        const int in = CFileIo::OpenRead((Workspace() / "source.bin").string());
        const int out = CFileIo::CreateNew(to);
        ssize_t got;
        while ((got = CFileIo::Read(in, buffer.data(), buffer.size())) > 0)
            CFileIo::WriteAll(out, buffer.data(), static_cast<size_t>(got));
        CFileIo::Sync(out);
        CFileIo::Close(out);
        CFileIo::Close(in);
    });
    fs::remove(to);
    return s;
}

void Compare(benchmark::State& state, const std::function<double()>& candidate)
{
    Workspace();
    double ours = 0, reference = 0;
    for (auto _ : state) {
        reference += ReferenceCp();
        const double s = candidate();
        ours += s;
        state.SetIterationTime(s);
    }
    state.counters["ratio_vs_cp"] = ours / reference;
    state.counters["MB_per_s"] = benchmark::Counter(static_cast<double>(kFileSize) * state.iterations() / ours / 1e6);
}

void BM_SafeCopy1KiB(benchmark::State& state)
{
    Compare(state, SafeCopy);
}

void BM_PlainCopy64KiB(benchmark::State& state)
{
    Compare(state, [] { return LargeBlockCopy(64 * 1024); });
}

} // namespace

BENCHMARK(BM_SafeCopy1KiB)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainCopy64KiB)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
