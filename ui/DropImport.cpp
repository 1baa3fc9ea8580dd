#include "ui/DropImport.h"

#include "card/CardLayout.h"
#include "jobs/DragOutData.h"
#include "jobs/Duplicator.h"
#include "jobs/Importer.h"
#include "ui/SelfDDIndicator.h"
#include "ui/ConvProgressDlg.h"
#include "ui/MessageBox.h"
#include "res/MessageCatalogue.h"

#include <QMimeData>
#include <QUrl>

#include <climits>

namespace tq9 {

bool CDropImport::Accepts(const QMimeData* data)
{
    return data && data->hasUrls() && !CSelfDDIndicator::Instance().GetDropBusy();
}

std::vector<std::string> CDropImport::DroppedFiles(const QMimeData* data)
{
    std::vector<std::string> files;
    if (!data || !data->hasUrls())
        return files;
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile())
            continue;
        std::string path = url.toLocalFile().toStdString();
        if (path.empty() || path.size() >= PATH_MAX)
            continue;
        files.push_back(std::move(path));
    }
    return files;
}

std::vector<std::string> CDropImport::DraggedCardFiles(const QMimeData* data)
{
    std::vector<std::string> files;
    if (!data)
        return files;
    for (const std::string& path : CDragOutData::CardPaths(*data))
        if (!path.empty() && path.size() < PATH_MAX)
            files.push_back(path);
    return files;
}

bool CDropImport::ExceedsLimit(QWidget* owner, size_t listed, size_t dropped)
{
    if (CCardLayout::HasRoomFor(listed, dropped))
        return false;
    CMessageBox::ShowId(owner, IDS_TOO_MANY_FILES);
    return true;
}

int CDropImport::Import(QWidget* owner, CImporter& importer, const std::string& folder,
                        const std::vector<std::string>& files, uint64_t freeBytes)
{
    const auto variant = CSelfDDIndicator::Instance().GetSelfDrag() ? CTQ9ImportSystemFile::Variant::Copy
                                                                    : CTQ9ImportSystemFile::Variant::Transcode;
    int result = importer.Prepare(folder, files, freeBytes, variant);
    if (result >= 0) {
        CConvProgressDlg dialog(owner);
        result = importer.Run(dialog);
    }
    const std::string report = ImportReportText(importer, result);
    Report(owner, report);
    return result;
}

int CDropImport::Duplicate(QWidget* owner, CDuplicator& duplicator, const std::string& folder,
                           const std::vector<std::string>& files, uint64_t freeBytes)
{
    int result = duplicator.Prepare(folder, files, freeBytes);
    if (result >= 0) {
        CConvProgressDlg dialog(owner);
        result = duplicator.Run(dialog);
    }
    Report(owner, DuplicationReportText(duplicator, result));
    return result;
}

void CDropImport::Report(QWidget* owner, const std::string& report)
{
    if (!report.empty())
        CMessageBox::Show(owner, report);
}

CDropImport::BusyGuard::BusyGuard()
{
    CSelfDDIndicator::Instance().SetDropBusy(1);
}

CDropImport::BusyGuard::~BusyGuard()
{
    CSelfDDIndicator::Instance().SetDropBusy(0);
}

} // namespace tq9
