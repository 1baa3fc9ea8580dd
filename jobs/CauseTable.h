// A job's one table from the cause of a failure (JobOutcome) to the result bits it reports and the
// catalogue lines the user reads. Each job keeps one, in the order its message lists the lines.
//
// Immutable after construction; any thread.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <vector>

#include "jobs/JobOutcome.h"

namespace tq9 {

class CCauseTable {
public:
    struct Row {
        JobCause cause;
        int result;      // the bits of kResult* this cause sets
        int lines[2];    // catalogue lines, 0 when unused; IDS_NOT_DIRECTORY is formatted with the subject
        int pathText = 0; // a catalogue text naming the failed path and why, or 0: the path alone
    };

    // A job's own rows, then the rows every writer to a card shares (CCardWriteCause::kCardRows).
    CCauseTable(std::initializer_list<Row> jobRows, const Row* cardRows, size_t cardRowCount)
        : m_rows(jobRows)
    {
        m_rows.insert(m_rows.end(), cardRows, cardRows + cardRowCount);
    }

    // The result bits of cause; other when the table has no row for it.
    int ResultOf(JobCause cause, int other) const;
    // The lines of every row whose bits are all set in code, each group once, in table order, each ended by
    // "\n"; the card-full line is followed by figures and "\n" when figures is not empty. IDS_ERROR_NOT_FOUND
    // for a code of 0 or more.
    std::string ResultText(int code, const std::string& subject, const std::string& figures) const;
    // One failed path as the failure list shows it: the lines of its cause (with its figures), then the path
    // (in its row's pathText when there is one) and "\n".
    std::string FailureText(const JobOutcome& outcome, const std::string& path) const;

private:
    const Row* Find(JobCause cause) const;
    std::string Lines(const Row& row, const std::string& subject, const std::string& figures) const;

    std::vector<Row> m_rows;
};

} // namespace tq9
