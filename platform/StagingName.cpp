#include "platform/StagingName.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/DebugLog.h"
#include "platform/DirectoryEnumerator.h"
#include "platform/FileIo.h"
#include "platform/FileSystem.h"
#include "platform/UniqueFd.h"

namespace tq9 {

namespace {

std::mutex g_lock;
std::set<std::string> g_inUse; // guarded by g_lock
std::atomic<uint64_t> g_sequence {0};

constexpr time_t kStaleAfterSeconds = 24 * 60 * 60;

bool startsWith(const std::string& s, const std::string& prefix)
{
    return s.compare(0, prefix.size(), prefix) == 0;
}

bool endsWith(const std::string& s, const std::string& suffix)
{
    return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool isLeftover(const std::string& folder, const std::string& name, long pid)
{
    const std::string path = folder + "/" + name;
    if (pid == ::getpid()) {
        std::lock_guard<std::mutex> guard(g_lock);
        return g_inUse.count(path) == 0;
    }
    if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
        return true;
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && st.st_mtime < ::time(nullptr) - kStaleAfterSeconds;
}

bool isPlainName(const std::string& name)
{
    return !name.empty() && name.size() <= NAME_MAX && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos && name != "." && name != "..";
}

// A journal entry is a staged copy of the journal's own run (or none) and a visible plain name.
bool isValidEntry(const CStagingName::JournalEntry& entry, long runPid)
{
    if (!isPlainName(entry.final) || startsWith(entry.final, CStagingName::kPrefix))
        return false;
    long pid = 0;
    return entry.staged.empty() || (CStagingName::ParseName(entry.staged, false, pid) && pid == runPid);
}

long pidOfPath(const std::string& path, bool journal)
{
    long pid = 0;
    return CStagingName::ParseName(CFileSystem::NameOf(path), journal, pid) ? pid : 0;
}

bool isRegularEntry(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Finishes an abandoned item: its staged copies still there take their free final names. Nothing visible
// is removed or replaced.
void finishJournal(const std::string& folder, const std::string& journal)
{
    std::vector<CStagingName::JournalEntry> entries;
    if (!CStagingName::ReadJournal(folder + "/" + journal, entries)) {
        CDebugLog::Write("staging: " + folder + "/" + journal + " is not a journal of ours; left as it is");
        return;
    }
    for (const CStagingName::JournalEntry& entry : entries) {
        if (entry.staged.empty())
            continue;
        const std::string staged = folder + "/" + entry.staged;
        struct stat st {};
        const std::string final = folder + "/" + entry.final;
        if (isRegularEntry(staged) && ::lstat(final.c_str(), &st) != 0 && errno == ENOENT)
            CFileIo::RenameNoReplace(staged, final);
    }
    CFileIo::Unlink(folder + "/" + journal);
}

} // namespace

CStagingName::CStagingName(const std::string& folder, const std::string& suffix)
    : m_path(folder + "/" + kPrefix + std::to_string(::getpid()) + "-" + std::to_string(++g_sequence) + suffix)
{
    std::lock_guard<std::mutex> guard(g_lock);
    g_inUse.insert(m_path);
}

CStagingName::~CStagingName()
{
    std::lock_guard<std::mutex> guard(g_lock);
    g_inUse.erase(m_path);
}

int CStagingName::WriteJournal(const std::string& path, const std::vector<JournalEntry>& entries)
{
    const long runPid = pidOfPath(path, true);
    std::string text = std::string(kJournalMagic) + std::to_string(entries.size()) + "\n";
    for (const JournalEntry& entry : entries) {
        if (!isValidEntry(entry, runPid)) {
            errno = EINVAL;
            return -1;
        }
        text += entry.staged + '\0' + entry.final + '\0';
    }
    if (runPid == 0 || entries.empty() || entries.size() > kMaxJournalEntries || text.size() > kMaxJournalBytes) {
        errno = EINVAL;
        return -1;
    }
    // Written under a staged name and renamed: a journal's name never holds a cut-short journal, so one
    // that does not read whole was not written by us.
    const CStagingName staged(CFileSystem::FolderOf(path));
    CUniqueFd fd(CFileIo::CreateNew(staged.Path()));
    if (!fd.IsOpen())
        return -1;
    int r = CFileIo::WriteAll(fd.Get(), text.data(), text.size()) < 0 ? -1 : CFileIo::Sync(fd.Get());
    int err = errno;
    if (fd.Close() != 0 && r == 0) {
        r = -1;
        err = errno;
    }
    if (r == 0 && CFileIo::RenameNoReplace(staged.Path(), path) != 0) {
        r = -1;
        err = errno;
    }
    if (r == 0 && CFileIo::SyncFolder(CFileSystem::FolderOf(path)) != 0) {
        r = -1;
        err = errno;
        CFileIo::Unlink(path);
    }
    if (r != 0) {
        CFileIo::Unlink(staged.Path());
        errno = err;
    }
    return r;
}

bool CStagingName::ReadJournal(const std::string& path, std::vector<JournalEntry>& entries)
{
    entries.clear();
    const long runPid = pidOfPath(path, true);
    if (runPid == 0)
        return false;
    CUniqueFd fd(CFileIo::OpenReadNoFollow(path));
    struct stat st {};
    if (!fd.IsOpen() || ::fstat(fd.Get(), &st) != 0 || st.st_size > static_cast<off_t>(kMaxJournalBytes))
        return false;
    // Read one byte past the limit: a file that grew since the fstat is refused, not read without end.
    std::string text(kMaxJournalBytes + 1, '\0');
    size_t got = 0;
    for (ssize_t n; got < text.size(); got += static_cast<size_t>(n)) {
        n = CFileIo::Read(fd.Get(), text.data() + got, text.size() - got);
        if (n < 0)
            return false;
        if (n == 0)
            break;
    }
    if (got > kMaxJournalBytes)
        return false;
    text.resize(got);
    const std::string magic = kJournalMagic;
    if (!startsWith(text, magic))
        return false;
    const size_t countEnd = text.find('\n', magic.size());
    if (countEnd == std::string::npos || countEnd == magic.size() || countEnd - magic.size() > 2)
        return false;
    size_t count = 0;
    for (size_t k = magic.size(); k < countEnd; ++k) {
        if (text[k] < '0' || text[k] > '9')
            return false;
        count = count * 10 + static_cast<size_t>(text[k] - '0');
    }
    if (count == 0 || count > kMaxJournalEntries)
        return false;
    std::vector<std::string> fields;
    for (size_t start = countEnd + 1; start < text.size() && fields.size() <= 2 * count;) {
        const size_t end = text.find('\0', start);
        if (end == std::string::npos)
            return false; // cut short: written before anything was renamed, so nothing to finish
        fields.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    if (fields.size() != 2 * count)
        return false;
    for (size_t k = 0; k < count; ++k) {
        JournalEntry entry {fields[2 * k], fields[2 * k + 1]};
        if (!isValidEntry(entry, runPid)) {
            entries.clear();
            return false;
        }
        entries.push_back(std::move(entry));
    }
    return true;
}

bool CStagingName::ParseName(const std::string& name, bool journal, long& pid)
{
    const std::string prefix = kPrefix;
    const std::string suffix = journal ? kJournalSuffix : "";
    if (!startsWith(name, prefix) || !endsWith(name, suffix) || name.size() <= prefix.size() + suffix.size())
        return false;
    const std::string middle = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
    // "<pid>-<n>", both decimal without sign or leading zero, as the constructor writes them.
    const size_t dash = middle.find('-');
    auto isNumber = [](const std::string& s) {
        return !s.empty() && s.size() <= 19 && (s[0] != '0' || s.size() == 1) &&
               s.find_first_not_of("0123456789") == std::string::npos;
    };
    if (dash == std::string::npos || !isNumber(middle.substr(0, dash)) || !isNumber(middle.substr(dash + 1)))
        return false;
    const unsigned long long value = std::stoull(middle.substr(0, dash));
    if (value > INT_MAX)
        return false;
    pid = static_cast<long>(value);
    return true;
}

void CStagingName::RemoveLeftovers(const std::string& folder)
{
    std::vector<std::string> journals, copies;
    {
        CDirectoryEnumerator entries(folder);
        std::string name;
        long pid = 0;
        while (entries.Next(name)) {
            // Only regular files under the exact names: a link, FIFO or folder of that name is not ours.
            if (ParseName(name, true, pid)) {
                if (journals.size() < kMaxJournalsPerRun && isRegularEntry(folder + "/" + name) &&
                    isLeftover(folder, name, pid))
                    journals.push_back(name);
            } else if (ParseName(name, false, pid) && isRegularEntry(folder + "/" + name) &&
                       isLeftover(folder, name, pid)) {
                copies.push_back(name);
            }
        }
    }
    // Journals first: the copies they list become final names, not leftovers.
    for (const std::string& journal : journals)
        finishJournal(folder, journal);
    for (const std::string& copy : copies) {
        if (isRegularEntry(folder + "/" + copy))
            CFileIo::Unlink(folder + "/" + copy);
    }
}

} // namespace tq9
