// The Setup dialog against the stored preferences and the import job's running values.
#include "GuiFixture.h"

#include "jobs/Importer.h"
#include "jobs/Preferences.h"
#include "ui/PreferenceDlg.h"

#include <QCheckBox>
#include <QRadioButton>
#include <QTimer>

using namespace tq9;
using namespace tq9test;

namespace {

// Runs the Setup command, letting act work on the dialog once it is up; then ends it with OK or Cancel.
void RunSetup(CImporter& importer, const std::function<void(CPreferenceDlg&)>& act, bool ok)
{
    bool seen = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<CPreferenceDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        seen = true;
        act(*dialog);
        if (ok)
            dialog->accept();
        else
            dialog->reject();
    });
    CPreferenceDlg::RunSetup(nullptr, &importer);
    EXPECT_TRUE(seen);
}

struct Stored {
    int ntsc, pal, letterBox, twoPass;
    bool operator==(const Stored&) const = default;
};

Stored ReadStored()
{
    return {CPreferences::Read("NTSC", -1), CPreferences::Read("PAL", -1), CPreferences::Read("LetterBox", -1),
            CPreferences::Read("2pass", -1)};
}

void Store(const Stored& s)
{
    CPreferences::Write("NTSC", s.ntsc);
    CPreferences::Write("PAL", s.pal);
    CPreferences::Write("LetterBox", s.letterBox);
    CPreferences::Write("2pass", s.twoPass);
}

} // namespace

class PreferenceDlgTest : public GuiFixture {};

TEST_F(PreferenceDlgTest, FirstUseChoosingPalStoresAllFourAndSwitchesTheImport)
{
    CImporter importer;
    RunSetup(importer, [](CPreferenceDlg& dlg) {
        EXPECT_TRUE(dlg.NtscButton()->isChecked());
        EXPECT_FALSE(dlg.PalButton()->isChecked());
        EXPECT_FALSE(dlg.LetterBoxButton()->isChecked());
        EXPECT_FALSE(dlg.TwoPassButton()->isChecked());
        dlg.PalButton()->click();
        EXPECT_FALSE(dlg.NtscButton()->isChecked()); // a click still makes them exclusive
        dlg.LetterBoxButton()->click();
        dlg.TwoPassButton()->click();
    }, true);
    EXPECT_EQ(ReadStored(), (Stored{0, 1, 1, 1}));
    EXPECT_EQ(importer.Settings().NTSC, 0);
    EXPECT_EQ(importer.Settings().LetterBox, 1);
    EXPECT_EQ(importer.Settings().TwoPass, 1);
    // What the next start-up gives the import job.
    EXPECT_EQ(CPreferences::ReadImport().NTSC, 0);
}

TEST_F(PreferenceDlgTest, CancelWritesNothingAndKeepsTheRunningValues)
{
    Store({1, 0, 0, 1});
    CImporter importer;
    importer.SetTwoPass(1);
    RunSetup(importer, [](CPreferenceDlg& dlg) {
        EXPECT_TRUE(dlg.TwoPassButton()->isChecked());
        dlg.PalButton()->click();
        dlg.TwoPassButton()->click();
    }, false);
    EXPECT_EQ(ReadStored(), (Stored{1, 0, 0, 1}));
    EXPECT_EQ(importer.Settings().NTSC, 1);
    EXPECT_EQ(importer.Settings().TwoPass, 1);
}

TEST_F(PreferenceDlgTest, StoredValuesSelectingBothOrNeitherButtonAreShownAsTheyAre)
{
    // Neither: OK keeps neither, the running standard follows the PAL button (NTSC), the next start PAL.
    Store({0, 0, 0, 0});
    CImporter neither;
    neither.SetNTSC(0);
    RunSetup(neither, [](CPreferenceDlg& dlg) {
        EXPECT_FALSE(dlg.NtscButton()->isChecked());
        EXPECT_FALSE(dlg.PalButton()->isChecked());
    }, true);
    EXPECT_EQ(ReadStored(), (Stored{0, 0, 0, 0}));
    EXPECT_EQ(neither.Settings().NTSC, 1);
    EXPECT_EQ(CPreferences::ReadImport().NTSC, 0);

    // Both: OK keeps both and the running standard is PAL.
    Store({1, 1, 0, 0});
    CImporter both;
    RunSetup(both, [](CPreferenceDlg& dlg) {
        EXPECT_TRUE(dlg.NtscButton()->isChecked());
        EXPECT_TRUE(dlg.PalButton()->isChecked());
    }, true);
    EXPECT_EQ(ReadStored(), (Stored{1, 1, 0, 0}));
    EXPECT_EQ(both.Settings().NTSC, 0);
}
