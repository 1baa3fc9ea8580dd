#include "jobs/CauseTable.h"

#include "res/MessageCatalogue.h"

namespace tq9 {

const CCauseTable::Row* CCauseTable::Find(JobCause cause) const
{
    for (const Row& row : m_rows)
        if (row.cause == cause)
            return &row;
    return nullptr;
}

int CCauseTable::ResultOf(JobCause cause, int other) const
{
    const Row* row = Find(cause);
    return row ? row->result : other;
}

std::string CCauseTable::Lines(const Row& row, const std::string& subject, const std::string& figures) const
{
    std::string text;
    for (int id : row.lines) {
        if (id == 0)
            continue;
        const std::string line = CMessageCatalogue::Get(id);
        text += (id == IDS_NOT_DIRECTORY ? FormatText(line, subject) : line) + "\n";
    }
    if (row.cause == JobCause::CardFull && !figures.empty())
        text += figures + "\n";
    return text;
}

std::string CCauseTable::ResultText(int code, const std::string& subject, const std::string& figures) const
{
    if (code >= 0)
        return CMessageCatalogue::Get(IDS_ERROR_NOT_FOUND) + "\n";
    std::string text;
    uint32_t shown = 0; // bits already written: several causes share one group, a group may hold another
    for (const Row& row : m_rows) {
        const uint32_t bits = static_cast<uint32_t>(row.result) & 0x7FFFFFFFu;
        if (bits == 0 || (static_cast<uint32_t>(code) & bits) != bits || (shown & bits) == bits)
            continue;
        text += Lines(row, subject, figures);
        shown |= bits;
    }
    return text;
}

std::string CCauseTable::FailureText(const JobOutcome& outcome, const std::string& path) const
{
    const Row* row = Find(outcome.cause);
    if (!row)
        return path + "\n";
    const std::string named = row->pathText ? FormatText(CMessageCatalogue::Get(row->pathText), path) : path;
    return Lines(*row, std::string(), outcome.figures) + named + "\n";
}

} // namespace tq9
