#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QLabel>
#include <QRegularExpression>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTranslator>
#include <QApplication>
#include <QFont>
#include <atomic>
#include <functional>

#include "jobs/ConvProgress.h"
#include "jobs/Exporter.h"
#include "media/WmvTestMedia.h"
#include "ui/ConvProgressDlg.h"

using namespace tq9;

namespace {

// A job whose slots the test sets directly; it records every SetState.
class ScriptedJob : public IConvProgress {
public:
    int count = 3;
    std::atomic<int> index{0};
    std::atomic<int> percent{0};
    std::atomic<int> state{STATE_RUNNING};
    std::string file = "/pc/clip.mov";
    bool copies = false;
    PlacementProgress placement;
    std::vector<int> setStates;

    int GetFileCount() override { return count; }
    int GetFileCountMin() override { return 0; }
    int GetFileIndex() override { return index; }
    int GetPercentMax() override { return 100; }
    int GetPercentMin() override { return 0; }
    int GetPercent() override { return percent; }
    std::string GetCurrentFileName() override { return file; }
    int GetState() override { return state; }
    bool Copies() const override { return copies; }
    PlacementProgress GetPlacement() override { return placement; }
    void SetState(int s) override
    {
        setStates.push_back(s);
        state = s;
    }
};

// Runs check on the dialog once it is showing (after delayMs), then the dialog goes on.
void whileShown(CConvProgressDlg& dlg, int delayMs, std::function<void()> check)
{
    QTimer::singleShot(delayMs, &dlg, std::move(check));
}

TEST(ConvProgressDlgTest, ShowsTheJobAndClosesAtTheFirstTickAfterTheWorkerEnded)
{
    ScriptedJob job;
    job.percent = 40;
    CConvProgressDlg dlg;
    QString status, counter, current, currentTip;
    whileShown(dlg, 0, [&] {
        status = dlg.StatusLabel()->text();
        counter = dlg.CounterLabel()->text();
        current = dlg.CurrentFileLabel()->text();
        currentTip = dlg.CurrentFileLabel()->toolTip();
        EXPECT_EQ(dlg.FileBar()->maximum(), 300) << "hundredths of a file";
        EXPECT_EQ(dlg.FileBar()->value(), 40) << "the first file's 40 %";
        EXPECT_EQ(dlg.PercentBar()->value(), 40);
        // The worker finishes every file before the first tick.
        job.index = 3;
        job.percent = 100;
        job.state = STATE_DONE;
    });
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(dlg.RunModal(job), FRONTEND_FINISHED);
    EXPECT_GE(clock.elapsed(), 450);
    EXPECT_LT(clock.elapsed(), 3000);

    EXPECT_EQ(status, "Now converting ...");
    EXPECT_EQ(counter, "Converted file 0/3");
    EXPECT_EQ(current, "Converting clip.mov") << "the name, not the dropped file's folder";
    EXPECT_EQ(currentTip, "/pc/clip.mov");
    // The closing tick shows the final state.
    EXPECT_EQ(dlg.StatusLabel()->text(), "Converting finished successfully.");
    EXPECT_EQ(dlg.CounterLabel()->text(), "Converted file 3/3");
    EXPECT_EQ(dlg.CurrentFileLabel()->text(), "") << "blank once the file is at 100 %";
    EXPECT_EQ(dlg.FileBar()->value(), 300);
    EXPECT_EQ(dlg.windowTitle(), "Importing files");
    EXPECT_TRUE(job.setStates.empty()) << "a job that ends by itself is not touched";
}

TEST(ConvProgressDlgTest, StatusLineNamesHowTheJobEnded)
{
    for (auto [state, text] : {std::pair{STATE_CANCELED, "Converting canceled."},
                               std::pair{STATE_FAILED, "Converting failed."}}) {
        ScriptedJob job;
        job.state = state;
        CConvProgressDlg dlg;
        EXPECT_EQ(dlg.RunModal(job), FRONTEND_FINISHED);
        EXPECT_EQ(dlg.StatusLabel()->text(), text);
    }
}

// After the conversions the results are copied onto the card: a phase of its own, with bytes and a bar that
// moves, and nothing that reads as a conversion still running.
TEST(ConvProgressDlgTest, TheCopyOntoTheCardShowsItsOwnProgress)
{
    ScriptedJob job;
    job.count = 1;
    job.index = 1;
    job.percent = 100;
    job.placement = {true, 1000000, 4000000};
    CConvProgressDlg dlg;
    QString status, counter;
    int lower = -1;
    whileShown(dlg, 0, [&] {
        status = dlg.StatusLabel()->text();
        counter = dlg.CounterLabel()->text();
        lower = dlg.PercentBar()->value();
        job.placement = {};
        job.state = STATE_DONE;
    });
    dlg.RunModal(job);
    EXPECT_EQ(status, "Copying to the card ...");
    EXPECT_EQ(counter, "1.00 MB of 4.00 MB");
    EXPECT_EQ(lower, 25);
    EXPECT_EQ(dlg.FileBar()->value(), dlg.FileBar()->maximum());
}

TEST(ConvProgressDlgTest, CancelButtonAndEscapeStopTheJobAtOnce)
{
    for (bool escape : {false, true}) {
        ScriptedJob job;
        job.index = 1;
        CConvProgressDlg dlg;
        whileShown(dlg, 700, [&] {
            EXPECT_EQ(dlg.CounterLabel()->text(), "Converted file 1/3");
            if (escape)
                QTest::keyClick(&dlg, Qt::Key_Escape);
            else
                QTest::mouseClick(dlg.CancelButton(), Qt::LeftButton);
        });
        QElapsedTimer clock;
        clock.start();
        EXPECT_EQ(dlg.RunModal(job), FRONTEND_CANCELED) << (escape ? "Escape" : "Cancel");
        EXPECT_LT(clock.elapsed(), 1100) << "closes without waiting for another tick";
        EXPECT_EQ(job.setStates, std::vector<int>{STATE_CANCELED});
    }
}

// With the Japanese texts and a CJK font (whose average glyph is full width) the dialog still speaks
// Japanese throughout and fits inside the main window.
TEST(ConvProgressDlgTest, JapaneseDialogIsTranslatedAndNoWiderThanTheWindow)
{
    QTranslator translator;
    ASSERT_TRUE(translator.load(QStringLiteral(":/i18n/tq9_ja.qm")));
    QCoreApplication::installTranslator(&translator);
    const QFont oldFont = QApplication::font();
    QFont cjk(QStringLiteral("Noto Sans CJK JP"));
    QApplication::setFont(cjk);
    struct Restore {
        QTranslator& t;
        QFont f;
        ~Restore()
        {
            QCoreApplication::removeTranslator(&t);
            QApplication::setFont(f);
        }
    } restore{translator, oldFont};

    QWidget window;
    window.resize(600, 400);
    CConvProgressDlg dlg(&window);
    EXPECT_EQ(dlg.CancelButton()->text().toStdString(), "キャンセル");
    EXPECT_LE(dlg.width(), window.width());
    EXPECT_GE(dlg.width(), 300) << "still roomy enough for its lines";
    // Even the window's narrowest possible width holds it.
    QWidget narrow;
    narrow.resize(350, 300);
    CConvProgressDlg small(&narrow);
    EXPECT_LE(small.width(), 350);
}

} // namespace

TEST(ConvProgressDlgTest, LongWorkShowsTheTimeLeftAndTheLineKeepsTheLastFileBetweenFiles)
{
    // Half of the work done early on: at about four seconds, about four seconds to go.
    ScriptedJob job;
    job.count = 2;
    CConvProgressDlg dlg;
    QString early, late, between;
    whileShown(dlg, 600, [&] {
        early = dlg.TimeLeftLabel()->text();
        job.index = 1;
    });
    whileShown(dlg, 4000, [&] {
        late = dlg.TimeLeftLabel()->text();
        // The first file is done and the importer names no next one yet.
        job.percent = 100;
        job.file.clear();
    });
    whileShown(dlg, 4600, [&] {
        between = dlg.CurrentFileLabel()->text();
        job.state = STATE_DONE;
    });
    dlg.RunModal(job);
    EXPECT_EQ(early, "") << "short work needs no estimate";
    // As long again as it ran so far (give or take the ticks a loaded machine delays).
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^About 0:0[3-9] left$")).match(late).hasMatch())
        << late.toStdString();
    EXPECT_EQ(between, "") << "a file at 100 % is not named as if still in progress";
    EXPECT_EQ(dlg.TimeLeftLabel()->text(), "") << "nothing left once the job is over";
}

TEST(ConvProgressDlgTest, AJobThatCopiesSaysCopying)
{
    ScriptedJob job;
    job.copies = true;
    job.count = 2;
    CConvProgressDlg dlg;
    QString status, counter, current;
    whileShown(dlg, 0, [&] {
        status = dlg.StatusLabel()->text();
        counter = dlg.CounterLabel()->text();
        current = dlg.CurrentFileLabel()->text();
        job.state = STATE_DONE;
    });
    dlg.RunModal(job);
    EXPECT_EQ(status, "Now copying ...");
    EXPECT_EQ(counter, "Copied file 0/2");
    EXPECT_EQ(current, "Copying clip.mov");
    EXPECT_EQ(dlg.StatusLabel()->text(), "Copying finished successfully.");
}

// A real export of a recording cut short: it is handed over as far as it goes, so the dialog's last line
// says that rather than "Converting failed.".
TEST(ConvProgressDlgTest, AnExportWhoseRecordingEndedEarlyEndsWithoutTheFailureText)
{
    using namespace tq9test;
    TempDir dir;
    const fs::path folder = MakeCard(dir.Path(), {1}) / "TQ9_0001";
    CutCopy(LongDeviceClip(), 50, folder / "flat.mp4");
    WriteFile(folder / "flat.mrk", std::string("\0\0\0\xc8", 4)); // 200 s, as the device wrote it
    fs::create_directories(dir / "work");
    CExporter exporter;
    ASSERT_EQ(exporter.Prepare({(folder / "flat.mp4").string()}, (dir / "work").string()), 0);
    CConvProgressDlg dlg;
    EXPECT_EQ(exporter.Run(dlg), CExporter::RESULT_FAILED) << "the file is still named with its reason";
    EXPECT_TRUE(exporter.Exported(0));
    EXPECT_EQ(dlg.StatusLabel()->text(), "Converting finished; a recording ended early.");
    exporter.DeleteWorkingFiles();
}
