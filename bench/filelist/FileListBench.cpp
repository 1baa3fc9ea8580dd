// The file list on a slow card: shows a folder in a CRightView and scrolls it from top to bottom, a page
// at a time, painting each page. Prints the milliseconds to the first screen painted and to the whole
// scroll, and marks the selection (up to the first screen) and the scroll each with two access() calls on
// names that do not exist, so that a trace of the program (strace -ff) can count the file-system calls the
// UI thread makes in between. The event loop runs while the folder is listed, as in the program; the
// longest the UI thread went without it meanwhile (the largest gap of a 10 ms timer) is printed too.
// Run by bench/filelist-bench.sh, which builds the card and compares with ls -l on the same folder.
//
// usage: bench_filelist CARD_ROOT FOLDER
#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QTimer>

#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "platform/CardRoots.h"
#include "ui/RightView.h"

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s CARD_ROOT FOLDER\n", argv[0]);
        return 2;
    }
    QApplication app(argc, argv);
    tq9::CCardRoots::AddExtraRoot(argv[1]);
    tq9::CRightView view;
    view.resize(600, 400);
    view.show();
    QApplication::processEvents();

    QElapsedTimer clock;
    qint64 lastTick = 0, stall = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(10);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        stall = std::max(stall, clock.elapsed() - lastTick);
        lastTick = clock.elapsed();
    });
    ::access("/tq9-bench-select-begin", F_OK);
    clock.start();
    ticker.start();
    view.ShowFolder(argv[2]);
    while (view.RowCount() == 0 && clock.elapsed() < 3600 * 1000)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    view.viewport()->repaint();
    const qint64 firstScreen = clock.elapsed();
    ticker.stop();
    stall = std::max(stall, firstScreen - lastTick);
    ::access("/tq9-bench-select-end", F_OK);
    // Three seconds pass, as before a user starts to scroll (what is read in the background meanwhile
    // goes on during the scroll).
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 3000)
        QApplication::processEvents(QEventLoop::AllEvents, 50);

    QScrollBar* bar = view.verticalScrollBar();
    ::access("/tq9-bench-scroll-begin", F_OK);
    clock.restart();
    for (int value = 0;; value += bar->pageStep()) {
        bar->setValue(value);
        view.viewport()->repaint();
        if (value >= bar->maximum())
            break;
    }
    const qint64 scroll = clock.elapsed();
    ::access("/tq9-bench-scroll-end", F_OK);
    std::printf("rows %d first-screen-ms %lld scroll-ms %lld pages %d longest-stall-ms %lld\n", view.RowCount(),
                static_cast<long long>(firstScreen), static_cast<long long>(scroll),
                bar->maximum() / std::max(1, bar->pageStep()) + 1, static_cast<long long>(stall));
    std::fflush(stdout);
    return 0;
}
