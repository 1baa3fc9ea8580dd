// The exception record building and job workers throw for one file; caught per file or per job and never
// allowed to cross a thread boundary.
#pragma once

#include <stdexcept>
#include <string>

namespace tq9 {

class CUserException : public std::runtime_error {
public:
    explicit CUserException(const std::string& what = "user exception") : std::runtime_error(what) {}
    // About one file: what() is "<path>: <text>", and a report can write the path its own way
    // (Said), as a terminal needs for a name holding a newline.
    CUserException(const std::string& path, const std::string& text)
        : std::runtime_error(path + ": " + text), m_path(path), m_text(text)
    {
    }

    // what(), with the path written by shown when there is one (nullptr: as it is).
    std::string Said(std::string (*shown)(const std::string&)) const
    {
        return m_path.empty() || !shown ? std::string(what()) : shown(m_path) + ": " + m_text;
    }

private:
    std::string m_path;
    std::string m_text;
};

} // namespace tq9
