#include "card/NaturalOrder.h"

#include <filesystem>

namespace tq9 {

namespace {

// Compares the digit runs starting at a[i] and b[j] by their numbers (any length), moving past them.
int CompareNumbers(const QString& a, qsizetype& i, const QString& b, qsizetype& j)
{
    auto skipZeros = [](const QString& s, qsizetype& k) {
        while (k + 1 < s.size() && s[k] == u'0' && s[k + 1].isDigit())
            ++k;
    };
    skipZeros(a, i);
    skipZeros(b, j);
    qsizetype endA = i, endB = j;
    while (endA < a.size() && a[endA].isDigit())
        ++endA;
    while (endB < b.size() && b[endB].isDigit())
        ++endB;
    int order = 0;
    if (endA - i != endB - j)
        order = endA - i < endB - j ? -1 : 1; // fewer digits, smaller number
    else
        order = QStringView(a).mid(i, endA - i).compare(QStringView(b).mid(j, endB - j));
    i = endA;
    j = endB;
    return order;
}

} // namespace

// Written out rather than left to the locale's collation: the order must not change with the system's
// language or with whether its collation library knows numbers.
int CNaturalOrder::Compare(const QString& a, const QString& b)
{
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        int order = 0;
        if (a[i].isDigit() && b[j].isDigit()) {
            order = CompareNumbers(a, i, b, j);
        } else {
            const char32_t ca = QChar::toCaseFolded(a[i].unicode());
            const char32_t cb = QChar::toCaseFolded(b[j].unicode());
            order = ca < cb ? -1 : (ca > cb ? 1 : 0);
            ++i;
            ++j;
        }
        if (order != 0)
            return order < 0 ? -1 : 1;
    }
    if (i < a.size() || j < b.size())
        return i < a.size() ? 1 : -1; // the shorter one first
    return QString::compare(a, b, Qt::CaseSensitive);
}

bool CNaturalOrder::PathLess(const std::string& a, const std::string& b)
{
    return Less(QString::fromStdString(std::filesystem::path(a).filename().string()),
                QString::fromStdString(std::filesystem::path(b).filename().string()));
}

} // namespace tq9
