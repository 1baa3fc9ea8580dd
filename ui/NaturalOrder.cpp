#include "ui/NaturalOrder.h"

#include <QCollator>

#include <filesystem>

namespace tq9 {

namespace {
const QCollator& collator()
{
    // QCollator is not safe to share between threads; the file list sorts on the observer's thread too.
    thread_local const QCollator c = [] {
        QCollator made;
        made.setNumericMode(true);
        made.setCaseSensitivity(Qt::CaseInsensitive);
        return made;
    }();
    return c;
}
} // namespace

int CNaturalOrder::Compare(const QString& a, const QString& b)
{
    const int order = collator().compare(a, b);
    return order != 0 ? order : QString::compare(a, b, Qt::CaseSensitive);
}

bool CNaturalOrder::PathLess(const std::string& a, const std::string& b)
{
    return Less(QString::fromStdString(std::filesystem::path(a).filename().string()),
                QString::fromStdString(std::filesystem::path(b).filename().string()));
}

} // namespace tq9
