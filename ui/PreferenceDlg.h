// The Setup dialog: video standard (NTSC or PAL), letterbox for 16:9 sources and two-pass encoding. It
// shows the stored preferences as they are (each radio button from its own entry, so both or neither may
// open selected), stores all four entries on OK, and hands the running values to the import job.
// UI thread only.
#pragma once

#include <QDialog>

class QCheckBox;
class QRadioButton;

namespace tq9 {

class CImporter;

class CPreferenceDlg : public QDialog {
    Q_OBJECT
public:
    explicit CPreferenceDlg(QWidget* parent = nullptr);

    // The Setup command: runs the dialog modally and, only when it ends with OK, sets the importer's
    // flags: NTSC from the PAL button (0 when it was selected), LetterBox and 2pass from the boxes.
    static void RunSetup(QWidget* owner, CImporter* importer);

    // States of the controls when OK was pressed (1 set, 0 clear); all 0 until then.
    int NtscChecked() const { return m_ntscChecked; }
    int PalChecked() const { return m_palChecked; }
    int LetterBoxChecked() const { return m_letterBoxChecked; }
    int TwoPassChecked() const { return m_twoPassChecked; }

    QRadioButton* NtscButton() const { return m_ntscButton; }
    QRadioButton* PalButton() const { return m_palButton; }
    QCheckBox* LetterBoxButton() const { return m_letterBoxButton; }
    QCheckBox* TwoPassButton() const { return m_twoPassButton; }

public slots:
    void accept() override;

private:
    void LoadFromPreferences();
    void Choose(QRadioButton* chosen);

    QRadioButton* m_ntscButton = nullptr;
    QRadioButton* m_palButton = nullptr;
    QCheckBox* m_letterBoxButton = nullptr;
    QCheckBox* m_twoPassButton = nullptr;
    int m_ntscChecked = 0;
    int m_palChecked = 0;
    int m_letterBoxChecked = 0;
    int m_twoPassChecked = 0;
};

} // namespace tq9
