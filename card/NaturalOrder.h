// The order a file manager shows names in: digits compare by their number (clip2 before clip10,
// TQ9_0002 before TQ9_0010), letters without regard to case. Any thread.
#pragma once

#include <QString>

#include <string>

namespace tq9 {

class CNaturalOrder {
public:
    // <0, 0 or >0 as a sorts before, with or after b. Names equal but for case are ordered by their
    // bytes, so that the order is total and stable.
    static int Compare(const QString& a, const QString& b);
    static bool Less(const QString& a, const QString& b) { return Compare(a, b) < 0; }
    // The same on the last element of two paths.
    static bool PathLess(const std::string& a, const std::string& b);
};

} // namespace tq9
