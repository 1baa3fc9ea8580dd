#include "ui/PreferenceDlg.h"

#include "jobs/Importer.h"
#include "jobs/Preferences.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace tq9 {

CPreferenceDlg::CPreferenceDlg(QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(tr("Setup"));
    auto* standard = new QGroupBox(tr("Standard"), this);
    m_ntscButton = new QRadioButton(tr("NTSC"), standard);
    m_palButton = new QRadioButton(tr("PAL"), standard);
    // The stored entries may select both buttons or neither, and the dialog shows that as it is; the
    // buttons therefore do not exclude each other by themselves, only a click does.
    m_ntscButton->setAutoExclusive(false);
    m_palButton->setAutoExclusive(false);
    auto* standardLayout = new QHBoxLayout(standard);
    standardLayout->addStretch(1);
    standardLayout->addWidget(m_ntscButton);
    standardLayout->addStretch(2);
    standardLayout->addWidget(m_palButton);
    standardLayout->addStretch(1);
    connect(m_ntscButton, &QRadioButton::clicked, this, [this] { Choose(m_ntscButton); });
    connect(m_palButton, &QRadioButton::clicked, this, [this] { Choose(m_palButton); });

    m_letterBoxButton = new QCheckBox(tr("Letter Box Available"), this);
    m_twoPassButton = new QCheckBox(tr("2pass Encode (Video)"), this);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(tr("OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(tr("Cancel"), QDialogButtonBox::RejectRole);
    ok->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &CPreferenceDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CPreferenceDlg::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(standard);
    layout->addWidget(m_letterBoxButton);
    layout->addWidget(m_twoPassButton);
    layout->addWidget(buttons);
    setMinimumWidth(260);
    LoadFromPreferences();
}

void CPreferenceDlg::Choose(QRadioButton* chosen)
{
    m_ntscButton->setChecked(chosen == m_ntscButton);
    m_palButton->setChecked(chosen == m_palButton);
}

void CPreferenceDlg::LoadFromPreferences()
{
    // Each control follows its own entry: 1 sets it, anything else clears it.
    m_ntscButton->setChecked(CPreferences::Read(CPreferences::kNTSC, 1) == 1);
    m_palButton->setChecked(CPreferences::Read(CPreferences::kPAL, 0) == 1);
    m_letterBoxButton->setChecked(CPreferences::Read(CPreferences::kLetterBox, 0) == 1);
    m_twoPassButton->setChecked(CPreferences::Read(CPreferences::kTwoPass, 0) == 1);
}

void CPreferenceDlg::accept()
{
    m_ntscChecked = m_ntscButton->isChecked() ? 1 : 0;
    m_palChecked = m_palButton->isChecked() ? 1 : 0;
    m_letterBoxChecked = m_letterBoxButton->isChecked() ? 1 : 0;
    m_twoPassChecked = m_twoPassButton->isChecked() ? 1 : 0;
    CPreferences::Write(CPreferences::kNTSC, m_ntscChecked);
    CPreferences::Write(CPreferences::kPAL, m_palChecked);
    CPreferences::Write(CPreferences::kLetterBox, m_letterBoxChecked);
    CPreferences::Write(CPreferences::kTwoPass, m_twoPassChecked);
    QDialog::accept();
}

void CPreferenceDlg::RunSetup(QWidget* owner, CImporter* importer)
{
    CPreferenceDlg dialog(owner);
    if (dialog.exec() != QDialog::Accepted || !importer)
        return;
    importer->SetNTSC(dialog.PalChecked() == 1 ? 0 : 1);
    importer->SetLetterBox(dialog.LetterBoxChecked());
    importer->SetTwoPass(dialog.TwoPassChecked());
}

} // namespace tq9
