// A main window started on cards made by the test, with message boxes answered by the test and the
// preferences kept in the test's own folder.
#pragma once

#include "support/TestSupport.h"

#include "platform/CardRoots.h"
#include "ui/AddressBar.h"
#include "ui/LeftView.h"
#include "ui/MainFrame.h"
#include "ui/MessageBox.h"
#include "ui/RightView.h"
#include "ui/ConvProgressDlg.h"
#include "ui/FileListModel.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QApplication>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QMimeData>
#include <QSettings>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tq9test {

struct ShownMessage {
    std::string text;
    std::string caption;
    tq9::CMessageBox::Buttons buttons;
};

// Holds a folder's lock as another run placing files into it does, and presses Cancel in the progress
// dialog once its status line says the job waits for it (or after 15 s, so a dialog that never says it
// cannot hang the test for the hour the wait lasts).
class OtherRunsLock {
public:
    explicit OtherRunsLock(const fs::path& folder) : m_fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    {
        EXPECT_EQ(::flock(m_fd, LOCK_EX), 0);
        m_poll.setInterval(50);
        QObject::connect(&m_poll, &QTimer::timeout, [this] {
            auto* dialog = qobject_cast<tq9::CConvProgressDlg*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            if (!dialog->StatusLabel()->text().startsWith(QStringLiteral("Waiting")) && m_sinceStart.elapsed() < 15000)
                return;
            status = dialog->StatusLabel()->toolTip().toStdString();
            m_poll.stop();
            sinceCancel.start();
            QTest::mouseClick(dialog->CancelButton(), Qt::LeftButton);
        });
        m_sinceStart.start();
        m_poll.start();
    }
    ~OtherRunsLock() { ::close(m_fd); }

    std::string status;         // the status line's full text when Cancel was pressed
    QElapsedTimer sinceCancel;  // started when Cancel was pressed

private:
    int m_fd;
    QTimer m_poll;
    QElapsedTimer m_sinceStart;
};

class GuiFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           QString::fromStdString((m_dir / "settings").string()));
        tq9::CCardRoots::ClearExtraRoots();
        // Only the cards of this test: other tests mount cards of their own while this one runs.
        WriteFile(m_dir / "mounts", "");
        tq9::CCardRoots::SetMountsFile((m_dir / "mounts").string());
        tq9::CMessageBox::SetHook([this](QWidget*, const std::string& text, const std::string& caption,
                                         tq9::CMessageBox::Buttons buttons) {
            m_messages.push_back({text, caption, buttons});
            return m_answer;
        });
    }

    void TearDown() override
    {
        m_frame.reset();
        tq9::CMessageBox::SetHook({});
        tq9::CCardRoots::ClearExtraRoots();
        tq9::CCardRoots::SetMountsFile({});
    }

    // A card under the test folder, registered as a card root. Returns its device folder.
    fs::path AddCard(const std::string& name, const std::vector<int>& folders = {1, 2})
    {
        const fs::path root = m_dir / name;
        const fs::path device = MakeCard(root, folders);
        tq9::CCardRoots::AddExtraRoot(root.string());
        return device;
    }

    tq9::CMainFrame& Start()
    {
        m_frame = std::make_unique<tq9::CMainFrame>();
        m_frame->show();
        Settled();
        return *m_frame;
    }

    tq9::CLeftView& Tree() { return *m_frame->LeftView(); }
    tq9::CRightView& List() { return *m_frame->RightView(); }

    // Selects the folder's node and waits for the list to show its listing (read off the UI thread).
    void Select(const fs::path& path)
    {
        ASSERT_TRUE(Tree().SelectByPath(path.string())) << path;
        Listed();
        Settled();
    }
    void Listed() { EXPECT_TRUE(WaitFor([&] { return !List().Model()->IsListing(); })) << "no listing landed"; }
    // Waits for the tree's reads of the cards (scan, free space) and the list's listing to land.
    void Settled()
    {
        EXPECT_TRUE(WaitFor([&] { return !Tree().Reading() && !List().Model()->IsListing(); })) << "no read landed";
    }

    // The texts of one column of the file list, top to bottom.
    std::vector<std::string> Column(int column)
    {
        std::vector<std::string> out;
        const QAbstractItemModel* model = List().model();
        for (int row = 0; row < model->rowCount(); ++row)
            out.push_back(model->index(row, column).data().toString().toStdString());
        return out;
    }

    // Runs the event loop until condition holds or timeoutMs passes.
    static bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 5000)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!condition()) {
            if (std::chrono::steady_clock::now() > end)
                return false;
            QTest::qWait(20);
        }
        return true;
    }

    // Drags files over pos of widget's viewport and drops them there, as the desktop would.
    static bool Drop(QWidget* viewport, QPoint pos, const std::vector<fs::path>& files)
    {
        QMimeData data;
        QList<QUrl> urls;
        for (const fs::path& f : files)
            urls << QUrl::fromLocalFile(QString::fromStdString(f.string()));
        data.setUrls(urls);
        return DropData(viewport, pos, data);
    }
    static bool DropData(QWidget* viewport, QPoint pos, const QMimeData& data)
    {
        QDragEnterEvent enter(pos, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &enter);
        QDragMoveEvent move(pos, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &move);
        QDropEvent drop(QPointF(pos), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &drop);
        return drop.isAccepted();
    }

    // Point of the tree node whose record has path.
    QPoint NodePoint(const fs::path& path)
    {
        for (const auto& card : Tree().Records()) {
            if (card->path == path.string())
                return Tree().visualItemRect(card->treeItem).center();
            for (const auto& device : card->children)
                for (const auto& folder : device->children)
                    if (folder->path == path.string())
                        return Tree().visualItemRect(folder->treeItem).center();
        }
        ADD_FAILURE() << "no node for " << path;
        return {};
    }

    // Puts a finished file into place in one step, as a program that writes elsewhere and renames does.
    // (A file written in place is seen when it is created, while it is still open, and is listed once the
    // list's re-check finds it closed.)
    void PlaceFile(const fs::path& path, const std::string& bytes)
    {
        const fs::path staging = m_dir / "staging";
        fs::create_directories(staging);
        WriteFile(staging / path.filename(), bytes);
        fs::rename(staging / path.filename(), path);
    }

    bool SawMessage(const std::string& text) const
    {
        for (const ShownMessage& m : m_messages)
            if (m.text == text)
                return true;
        return false;
    }

    TempDir m_dir;
    std::unique_ptr<tq9::CMainFrame> m_frame;
    std::vector<ShownMessage> m_messages;
    tq9::CMessageBox::Answer m_answer = tq9::CMessageBox::Answer::Ok;
};

} // namespace tq9test
