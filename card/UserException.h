// The exception record building and job workers throw for one file; caught per file or per job and never
// allowed to cross a thread boundary.
#pragma once

#include <stdexcept>
#include <string>

namespace tq9 {

class CUserException : public std::runtime_error {
public:
    explicit CUserException(const std::string& what = "user exception") : std::runtime_error(what) {}
};

} // namespace tq9
