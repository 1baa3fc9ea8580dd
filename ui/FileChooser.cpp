#include "ui/FileChooser.h"

#include "card/ImportSystemFile.h"
#include "ui/ShellIcons.h"

#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QPushButton>
#include <QSettings>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <filesystem>

namespace tq9 {

namespace {

const QString kImportFolderKey = QStringLiteral("Chooser/importFolder");
const QString kExportFolderKey = QStringLiteral("Chooser/exportFolder");
constexpr int kPathRole = Qt::UserRole + 1;

CFileChooser::Hook& hook()
{
    static CFileChooser::Hook h;
    return h;
}

QString tr(const char* text)
{
    return QCoreApplication::translate("tq9::CFileChooser", text);
}

// The folder chosen last time, while it still exists; the home folder otherwise.
QString lastFolder(const QString& key)
{
    const QString folder = QSettings().value(key).toString();
    return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : QDir::homePath();
}

void rememberFolder(const QString& key, const QString& folder)
{
    QSettings().setValue(key, folder);
}

// The desktop's own dialog where the platform theme offers one (the portal, GTK, KDE: the user's bookmarks
// and recent places), Qt's otherwise. TQ9_QT_FILE_DIALOG=1 asks for Qt's everywhere (the keyboard tests).
void prepareDialog(QFileDialog& dialog)
{
    dialog.setOption(QFileDialog::DontUseNativeDialog, qEnvironmentVariableIntValue("TQ9_QT_FILE_DIALOG") == 1);
    dialog.setWindowModality(Qt::WindowModal);
}

} // namespace

std::string CFileChooser::ImportPatterns()
{
    std::string patterns;
    for (const ExtensionRow* row = kImportExtensionTable; row->extension[0] != '\0'; ++row) {
        if (row->flags == 0)
            continue; // sidecars are not imported
        const QString ext = QString::fromLatin1(row->extension);
        for (const QString& variant : {ext, ext.toUpper()})
            patterns += (patterns.empty() ? "*." : " *.") + variant.toStdString();
    }
    return patterns;
}

std::vector<std::string> CFileChooser::ImportFiles(QWidget* owner)
{
    if (hook())
        return hook()(Kind::ImportFiles, nullptr);
    QFileDialog dialog(owner, tr("Import"), lastFolder(kImportFolderKey));
    prepareDialog(dialog);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setNameFilters({tr("Media files (%1)").arg(QString::fromStdString(ImportPatterns())),
                           tr("All files (*)")});
    dialog.setLabelText(QFileDialog::Accept, tr("Import"));
    if (dialog.exec() != QDialog::Accepted)
        return {};
    std::vector<std::string> files;
    for (const QString& file : dialog.selectedFiles())
        files.push_back(file.toStdString());
    if (!files.empty())
        rememberFolder(kImportFolderKey, QFileInfo(QString::fromStdString(files.front())).absolutePath());
    return files;
}

std::optional<std::string> CFileChooser::ExportFolder(QWidget* owner)
{
    if (hook()) {
        const std::vector<std::string> chosen = hook()(Kind::ExportFolder, nullptr);
        return chosen.empty() ? std::nullopt : std::optional<std::string>(chosen.front());
    }
    QFileDialog dialog(owner, tr("Export to"), lastFolder(kExportFolderKey));
    prepareDialog(dialog);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    dialog.setLabelText(QFileDialog::Accept, tr("Export"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    const QString folder = dialog.selectedFiles().front();
    rememberFolder(kExportFolderKey, folder);
    return folder.toStdString();
}

std::optional<std::string> CFileChooser::CardFolder(QWidget* owner, const CardFolders& offered)
{
    if (hook()) {
        const std::vector<std::string> chosen = hook()(Kind::CardFolder, &offered);
        return chosen.empty() ? std::nullopt : std::optional<std::string>(chosen.front());
    }
    QDialog dialog(owner);
    dialog.setWindowTitle(tr("Duplicate to"));
    auto* tree = new QTreeWidget(&dialog);
    tree->setObjectName(QStringLiteral("cardFolders"));
    tree->header()->hide();
    tree->setRootIsDecorated(true);
    QTreeWidgetItem* first = nullptr;
    for (const CardFolders::Card& card : offered.cards) {
        auto* cardItem = new QTreeWidgetItem(tree, {QString::fromStdString(card.name)});
        cardItem->setIcon(0, CShellIcons::CardIcon());
        cardItem->setFlags(Qt::ItemIsEnabled);
        for (const std::string& folder : card.folders) {
            auto* item = new QTreeWidgetItem(cardItem, {CShellIcons::DisplayName(folder)});
            item->setIcon(0, CShellIcons::FolderIcon());
            item->setData(0, kPathRole, QString::fromStdString(folder));
            if (folder == offered.excluded)
                item->setFlags(Qt::NoItemFlags); // the files are there already
            else if (!first)
                first = item;
        }
        cardItem->setExpanded(true);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->button(QDialogButtonBox::Ok)->setText(tr("Duplicate"));
    buttons->button(QDialogButtonBox::Cancel)->setText(tr("Cancel"));
    auto chosen = [tree] {
        QTreeWidgetItem* item = tree->currentItem();
        return item && (item->flags() & Qt::ItemIsSelectable) ? item->data(0, kPathRole).toString() : QString();
    };
    auto updateOk = [buttons, chosen] { buttons->button(QDialogButtonBox::Ok)->setEnabled(!chosen().isEmpty()); };
    QObject::connect(tree, &QTreeWidget::currentItemChanged, &dialog, updateOk);
    QObject::connect(tree, &QTreeWidget::itemActivated, &dialog, [&dialog, chosen] {
        if (!chosen().isEmpty())
            dialog.accept();
    });
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(tree);
    layout->addWidget(buttons);
    tree->setCurrentItem(first);
    updateOk();
    tree->setFocus();
    dialog.resize(320, 360);
    if (dialog.exec() != QDialog::Accepted || chosen().isEmpty())
        return std::nullopt;
    return chosen().toStdString();
}

void CFileChooser::SetHook(Hook h)
{
    hook() = std::move(h);
}

} // namespace tq9
