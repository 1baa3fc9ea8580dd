#include "ui/WindowLayout.h"

#include <QHeaderView>
#include <QMainWindow>
#include <QSettings>
#include <QSplitter>

namespace tq9 {

namespace {
const QString kGeometry = QStringLiteral("Window/geometry");
const QString kSplitter = QStringLiteral("Window/splitter");
const QString kListHeader = QStringLiteral("Window/listHeader");
const QString kColumnsByHand = QStringLiteral("Window/columnsByHand");
const QString kFolder = QStringLiteral("Window/folder");
} // namespace

bool CWindowLayout::Restore(QMainWindow& window, QSplitter& splitter, QHeaderView& listHeader)
{
    QSettings settings;
    if (settings.contains(kGeometry))
        window.restoreGeometry(settings.value(kGeometry).toByteArray());
    if (settings.contains(kSplitter))
        splitter.restoreState(settings.value(kSplitter).toByteArray());
    if (settings.contains(kListHeader)) {
        listHeader.restoreState(settings.value(kListHeader).toByteArray());
        // A header state from a build with other columns must not hide or fix the name column.
        listHeader.setSectionResizeMode(0, QHeaderView::Stretch);
    }
    return settings.value(kColumnsByHand, false).toBool();
}

void CWindowLayout::Save(const QMainWindow& window, const QSplitter& splitter, const QHeaderView& listHeader,
                         bool columnsByHand)
{
    QSettings settings;
    settings.setValue(kGeometry, window.saveGeometry());
    settings.setValue(kSplitter, splitter.saveState());
    settings.setValue(kListHeader, listHeader.saveState());
    settings.setValue(kColumnsByHand, columnsByHand);
}

std::string CWindowLayout::LastFolder()
{
    return QSettings().value(kFolder).toString().toStdString();
}

void CWindowLayout::SaveLastFolder(const std::string& folder)
{
    QSettings().setValue(kFolder, QString::fromStdString(folder));
}

} // namespace tq9
