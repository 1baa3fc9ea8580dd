// SIGTERM ends the desktop program like the user would: the open modal dialogs are cancelled, innermost
// first (the progress dialog's Cancel stops the import), then the application quits.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <QtTest>
#include <csignal>

#include "ui/SignalQuit.h"

using namespace tq9;

TEST(SignalQuit, SigtermCancelsEveryModalDialogAndQuits)
{
    CSignalQuit quit;
    std::vector<int> endings;
    QDialog outer;
    QTimer::singleShot(0, [&] {
        // A dialog opened from a dialog, as the import's report follows its progress dialog.
        QTimer::singleShot(0, [&] {
            QDialog inner(&outer);
            QTimer::singleShot(0, [] { ::raise(SIGTERM); });
            endings.push_back(inner.exec());
        });
        endings.push_back(outer.exec());
    });
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(7); });
    watchdog.start(10000);

    const int code = QCoreApplication::exec();

    EXPECT_NE(code, 7) << "the program did not quit";
    EXPECT_TRUE(quit.Terminating());
    EXPECT_EQ(endings, (std::vector<int> {QDialog::Rejected, QDialog::Rejected}));
}
