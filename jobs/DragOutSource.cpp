#include "jobs/DragOutSource.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <unistd.h>

#include "card/ExportSystemFile.h"
#include "media/FFMpegConverter.h"
#include "media/MediaInfo.h"
#include "platform/DebugLog.h"
#include "platform/FileIo.h"
#include "platform/FileSystem.h"

namespace tq9 {

namespace {

std::atomic<unsigned> g_sequence{0};

// The extension the export gives a card file, by the export's own table (a card mp4 is probed the way the
// export probes it); empty when it exports nothing of it.
std::string exportedExtension(const std::string& cardPath)
{
    SplitPathResult parts;
    if (!SplitPath(cardPath, parts))
        return std::string();
    const ExtensionRow* row = &LookupExtension(kExportExtensionTable, parts.extension);
    if (!(row->flags & FILE_MEDIA))
        return std::string();
    if (row->kind == KIND_MP4_PROBE) {
        MediaInfo info;
        CFFMpegConverter& probe = CFFMpegConverter::Instance();
        probe.Probe(cardPath, info);
        row = probe.GetResult() >= 0 && IsMpeg4Mp3(info) ? &kExportMp4ToWmvRow : &kExportMp4AsIsRow;
    }
    return row->target[0] != '\0' ? row->target : parts.extension;
}

std::string baseName(const std::string& path)
{
    SplitPathResult parts;
    SplitPath(path, parts);
    return parts.base;
}

} // namespace

CDragOutSource::CDragOutSource(std::vector<std::string> cardPaths)
    : m_cardPaths(std::move(cardPaths))
{
    const std::string temp = CFileSystem::TempFolder().value_or("/tmp");
    m_folder = temp + "/" + kFolderPrefix + std::to_string(::getpid()) + "-" + std::to_string(++g_sequence);
    std::vector<std::string> taken;
    for (size_t i = 0; i < m_cardPaths.size(); ++i) {
        const std::string extension = exportedExtension(m_cardPaths[i]);
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
    int result = job.Prepare(m_cardPaths);
    if (result >= 0)
        result = job.Run(frontEnd);
    std::error_code ec;
    if (result == 0 && !std::filesystem::create_directories(m_folder, ec) && ec)
        result = -1;
    if (result == 0) {
        const std::vector<std::string> working = job.WorkingFiles();
        for (size_t k = 0; k < m_handOver.size() && result == 0; ++k) {
            const size_t source = m_handOverSource[k];
            const std::string from = source < working.size() ? working[source] : std::string();
            if (from.empty() || CFileIo::Rename(from, m_handOver[k]) != 0) {
                CDebugLog::Write("drag-out: no export of " + m_cardPaths[source]);
                result = -1;
            }
        }
    }
    job.DeleteWorkingFiles(); // whatever was not moved (a failure, a cancel) goes
    if (result != 0)
        RemoveCopies();
    return result;
}

void CDragOutSource::RemoveCopies()
{
    m_handOver.clear();
    m_handOverSource.clear();
    std::error_code ec;
    std::filesystem::remove_all(m_folder, ec);
}

void CDragOutSource::RemoveLeftovers()
{
    const auto temp = CFileSystem::TempFolder();
    if (!temp)
        return;
    std::error_code ec;
    const std::string prefix = kFolderPrefix;
    for (const auto& entry : std::filesystem::directory_iterator(*temp, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.compare(0, prefix.size(), prefix) != 0)
            continue;
        const long pid = std::strtol(name.c_str() + prefix.size(), nullptr, 10);
        if (pid <= 0 || (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) || pid == ::getpid()) {
            std::error_code ignored;
            std::filesystem::remove_all(entry.path(), ignored);
        }
    }
}

} // namespace tq9
