#include "ui/OpenFile.h"

#include <QDesktopServices>
#include <QString>
#include <QUrl>

namespace tq9 {

namespace {
COpenFile::Hook& hook()
{
    static COpenFile::Hook h;
    return h;
}
} // namespace

bool COpenFile::Open(const std::string& path)
{
    if (hook())
        return hook()(path);
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
}

void COpenFile::SetHook(Hook h)
{
    hook() = std::move(h);
}

} // namespace tq9
