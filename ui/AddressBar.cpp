#include "ui/AddressBar.h"

#include "ui/ShellIcons.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>

#include <climits>

namespace tq9 {

CAddressBar::CAddressBar(QWidget* parent)
    : QWidget(parent)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 2, 6, 2);
    m_label = new QLabel(tr("File"), this);
    m_history = new QComboBox(this);
    m_history->setEditable(false); // the user can only pick an entry
    m_history->setAccessibleName(tr("Folder"));
    m_history->setAccessibleDescription(tr("The folder shown and the folders visited before; pick one to go back to it."));
    m_history->setMinimumWidth(160); // wider when there is room (it expands); a scaled-up small screen has none
    m_history->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_history->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    layout->addWidget(m_label);
    layout->addWidget(m_history, 1);
    m_label->setBuddy(m_history);
    // activated, unlike currentIndexChanged, also fires for the entry already on top: choosing it
    // navigates again.
    connect(m_history, &QComboBox::activated, this, &CAddressBar::GoToChosenFolder);
}

void CAddressBar::ShowFolder(const std::string& path)
{
    const QString text = QString::fromStdString(path);
    for (int i = 0; i < m_history->count(); ++i) {
        if (m_history->itemText(i) == text) { // exact, case-sensitive
            m_history->removeItem(i);
            break;
        }
    }
    m_history->insertItem(0, CShellIcons::FolderIcon(), text);
    const QSignalBlocker quiet(m_history);
    m_history->setCurrentIndex(0);
}

void CAddressBar::Forget(const std::string& root)
{
    const QString prefix = QString::fromStdString(root);
    const QSignalBlocker quiet(m_history);
    for (int i = m_history->count(); i-- > 0;) {
        const QString entry = m_history->itemText(i);
        if (entry == prefix || entry.startsWith(prefix + QLatin1Char('/')))
            m_history->removeItem(i);
    }
    // What is left are folders visited before; none of them is the one shown now.
    m_history->setCurrentIndex(-1);
}

std::vector<std::string> CAddressBar::History() const
{
    std::vector<std::string> out;
    for (int i = 0; i < m_history->count(); ++i)
        out.push_back(m_history->itemText(i).toStdString());
    return out;
}

void CAddressBar::GoToChosenFolder(int index)
{
    if (index < 0)
        return;
    const std::string path = m_history->itemText(index).toStdString();
    // Paths too long for the file system cannot name a folder of the tree.
    if (path.size() >= PATH_MAX)
        return;
    emit FolderChosen(path);
    // A folder the tree no longer has leaves the pick where it was: show the folder it has selected.
    const QSignalBlocker quiet(m_history);
    m_history->setCurrentIndex(0);
}

} // namespace tq9
