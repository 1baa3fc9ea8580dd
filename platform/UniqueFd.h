// The one owner of a file descriptor: closes it when it goes out of scope, so no path forgets to. Where a
// failed close matters (the last close of a file just written), call Close() and check its result; the
// destructor's close is for paths that already failed or only read, and its result is ignored.
//
// Not thread-safe; like the descriptor it owns, it belongs to whoever holds it. Movable, not copyable.
#pragma once

namespace tq9 {

class CUniqueFd {
public:
    CUniqueFd() = default;
    explicit CUniqueFd(int fd) noexcept : m_fd(fd) {}
    ~CUniqueFd() { Reset(); }
    CUniqueFd(CUniqueFd&& other) noexcept : m_fd(other.Release()) {}
    CUniqueFd& operator=(CUniqueFd&& other) noexcept
    {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }
    CUniqueFd(const CUniqueFd&) = delete;
    CUniqueFd& operator=(const CUniqueFd&) = delete;

    int Get() const noexcept { return m_fd; }
    bool IsOpen() const noexcept { return m_fd >= 0; }
    // Gives the descriptor up without closing it.
    int Release() noexcept
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    // Closes the descriptor held (result ignored) and takes fd.
    void Reset(int fd = -1) noexcept;
    // Closes now through CFileIo::Close and returns its result (0, or -1 with errno set); the owner is
    // empty afterwards whatever the result. 0 when nothing is held.
    int Close();

private:
    int m_fd = -1;
};

} // namespace tq9
