#include "jobs/DragOutSource.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "card/ExportSystemFile.h"
#include "jobs/Exporter.h"
#include "platform/DebugLog.h"
#include "platform/DirectoryEnumerator.h"
#include "platform/FileIo.h"
#include "platform/FileSystem.h"

namespace tq9 {

namespace {

std::atomic<unsigned> g_sequence{0};

// The extension the export gives a card file by its table alone; a card mp4 counts as the device's
// recording. Empty when it exports nothing of it.
std::string expectedExtension(const std::string& cardPath)
{
    SplitPathResult parts;
    if (!SplitPath(cardPath, parts))
        return std::string();
    const ExtensionRow* row = &LookupExtension(kExportExtensionTable, parts.extension);
    if (!(row->flags & FILE_MEDIA))
        return std::string();
    if (row->kind == KIND_MP4_PROBE)
        row = &kExportMp4ToWmvRow;
    return row->target[0] != '\0' ? row->target : parts.extension;
}

std::string baseName(const std::string& path)
{
    SplitPathResult parts;
    SplitPath(path, parts);
    return parts.base;
}

std::string extensionOf(const std::string& path)
{
    SplitPathResult parts;
    SplitPath(path, parts);
    return parts.extension;
}

// "<pid>-<sequence>", both in digits.
bool isDragFolderTail(const std::string& tail)
{
    const size_t dash = tail.find('-');
    const auto digits = [](const std::string& s) {
        return !s.empty() && s.size() <= 10 && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    return dash != std::string::npos && digits(tail.substr(0, dash)) && digits(tail.substr(dash + 1));
}

// Sweeps one parent folder; returns how many drag folders stay.
int sweep(const std::string& parent)
{
    const std::string prefix = CDragOutSource::kFolderPrefix;
    CDirectoryEnumerator entries(parent);
    std::string name;
    int left = 0;
    while (entries.Next(name)) {
        // Exactly the names the program gives its drag folders: prefix, pid, "-", sequence.
        if (name.compare(0, prefix.size(), prefix) != 0 || !isDragFolderTail(name.substr(prefix.size())))
            continue;
        const std::string path = parent + "/" + name;
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
            continue;
        const long pid = std::strtol(name.c_str() + prefix.size(), nullptr, 10);
        if (pid > 0 && pid != ::getpid() && !(::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH))
            continue; // another running program's: it sweeps its own
        if (CFileSystem::OpenByAnyProcess(path)) {
            // In use: the grace starts again, so the files a target has not opened yet stay with it.
            ::utimensat(AT_FDCWD, path.c_str(), nullptr, AT_SYMLINK_NOFOLLOW);
            ++left;
            continue;
        }
        if (st.st_mtime > ::time(nullptr) - CDragOutSource::GraceSeconds()) {
            ++left;
            continue;
        }
        if (!CFileSystem::RemoveFolderOfFiles(path))
            CDebugLog::Write("drag-out: left " + path + ": it holds more than the program's copies");
    }
    return left;
}

} // namespace

int CDragOutSource::GraceSeconds()
{
    // Tests shorten it; a target that has not opened a file within this long after the drop has given up.
    if (const char* value = std::getenv("TQ9_DRAG_GRACE_SECONDS"))
        return std::max(0, std::atoi(value));
    return 60;
}

CDragOutSource::CDragOutSource(std::vector<std::string> cardPaths)
    : m_cardPaths(std::move(cardPaths))
{
    uint64_t needed = 0;
    for (const std::string& path : m_cardPaths)
        needed += CExporter::EstimateBytes(path);
    m_parent = CExporter::WorkParentFor(needed).value_or("/tmp");
    // A name nothing holds yet: the folder is made at the export and must be the program's own to remove.
    struct stat st {};
    for (int attempt = 0; attempt < 100; ++attempt) {
        m_folder = m_parent + "/" + kFolderPrefix + std::to_string(::getpid()) + "-" + std::to_string(++g_sequence);
        if (::lstat(m_folder.c_str(), &st) != 0)
            break;
    }
    std::vector<std::string> taken;
    for (size_t i = 0; i < m_cardPaths.size(); ++i) {
        const std::string extension = expectedExtension(m_cardPaths[i]);
        if (extension.empty())
            continue;
        // Two card folders may hold the same name; the second copy gets a number.
        std::string name = baseName(m_cardPaths[i]) + "." + extension;
        for (int n = 2; std::find(taken.begin(), taken.end(), name) != taken.end(); ++n)
            name = baseName(m_cardPaths[i]) + " (" + std::to_string(n) + ")." + extension;
        taken.push_back(name);
        m_handOver.push_back(m_folder + "/" + name);
        m_handOverSource.push_back(i);
    }
}

CDragOutSource::~CDragOutSource() = default;

int CDragOutSource::Export(IExport& job, IProgressFrontEnd& frontEnd)
{
    m_failureText.clear();
    int result = job.Prepare(m_cardPaths, m_parent);
    if (result >= 0)
        result = job.Run(frontEnd);
    if (result == 1) {
        job.DeleteWorkingFiles();
        RemoveCopies();
        return 1;
    }
    std::vector<std::string> handOver;
    std::vector<size_t> handOverSource;
    std::error_code ec;
    std::filesystem::create_directories(m_parent, ec);
    // Made here and now, never taken over: what RemoveCopies later removes is then only what this drag put in.
    m_madeFolder = m_madeFolder || ::mkdir(m_folder.c_str(), 0700) == 0;
    if (m_madeFolder) {
        const std::vector<std::string> working = job.WorkingFiles();
        for (size_t k = 0; k < m_handOver.size(); ++k) {
            const size_t source = m_handOverSource[k];
            const std::string from = source < working.size() ? working[source] : std::string();
            if (from.empty())
                continue; // named in the failure text
            // The name the list carries, with the extension of what the export made of the file.
            std::string to = m_handOver[k];
            const std::string made = extensionOf(from);
            if (!made.empty() && made != extensionOf(to))
                to = to.substr(0, to.size() - extensionOf(to).size()) + made;
            if (CFileIo::Rename(from, to) != 0) {
                CDebugLog::Write("drag-out: cannot hand over " + m_cardPaths[source]);
                continue;
            }
            handOver.push_back(to);
            handOverSource.push_back(source);
        }
    }
    m_failureText = job.FailureText(!handOver.empty());
    job.DeleteWorkingFiles(); // whatever was not moved goes with the run's working folder
    if (handOver.empty()) {
        RemoveCopies();
        return result < 0 ? result : -1;
    }
    m_handOver = std::move(handOver);
    m_handOverSource = std::move(handOverSource);
    return 0;
}

void CDragOutSource::RemoveCopies()
{
    m_handOver.clear();
    m_handOverSource.clear();
    if (m_madeFolder && CFileSystem::RemoveFolderOfFiles(m_folder))
        m_madeFolder = false;
}

std::vector<std::string> CDragOutSource::MoveCopiesTo(const std::string& folder)
{
    namespace fs = std::filesystem;
    std::vector<std::string> moved;
    for (const std::string& copy : m_handOver) {
        const fs::path from(copy);
        std::error_code ec;
        for (int n = 1; n < 1000; ++n) {
            const fs::path to = fs::path(folder) / (n == 1 ? from.filename().string()
                                                            : from.stem().string() + " (" + std::to_string(n) + ")" +
                                                                  from.extension().string());
            // A link fails on a name that is taken, where a rename would replace what is there.
            if (::link(from.c_str(), to.c_str()) == 0) {
                ::unlink(from.c_str());
            } else if (errno == EEXIST) {
                continue;
            } else if (!fs::copy_file(from, to, fs::copy_options::none, ec)) {
                if (ec == std::errc::file_exists)
                    continue;
                CDebugLog::Write("drag-out: cannot keep " + copy + " in " + folder + ": " + ec.message());
                break;
            } else {
                fs::last_write_time(to, fs::last_write_time(from, ec), ec);
            }
            moved.push_back(to.string());
            break;
        }
    }
    return moved;
}

int CDragOutSource::RemoveLeftovers()
{
    int left = 0;
    if (const auto temp = CFileSystem::TempFolder())
        left += sweep(*temp);
    if (const auto cache = CFileSystem::CacheFolder(false))
        left += sweep(*cache);
    return left;
}

} // namespace tq9
