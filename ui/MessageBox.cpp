#include "ui/MessageBox.h"

#include "res/MessageCatalogue.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QGridLayout>
#include <QMessageBox>
#include <QSpacerItem>

namespace tq9 {

namespace {
CMessageBox::Hook& hook()
{
    static CMessageBox::Hook h;
    return h;
}
} // namespace

CMessageBox::Answer CMessageBox::Show(QWidget* owner, const std::string& text, const std::string& caption,
                                      Buttons buttons)
{
    const std::string title = caption.empty() ? CMessageCatalogue::Get(IDS_APP_NAME) : caption;
    if (hook())
        return hook()(owner, text, title, buttons);

    QMessageBox box(QMessageBox::Warning, QString::fromStdString(title), QString::fromStdString(text),
                    buttons == Buttons::OkCancel ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok,
                    owner);
    // Texts of the catalogue carry tabs and line breaks that must be shown as they stand.
    box.setTextFormat(Qt::PlainText);
    // Our own button texts, so that they follow the program's language rather than Qt's.
    box.button(QMessageBox::Ok)->setText(QCoreApplication::translate("tq9::CMessageBox", "OK"));
    if (QAbstractButton* cancel = box.button(QMessageBox::Cancel))
        cancel->setText(QCoreApplication::translate("tq9::CMessageBox", "Cancel"));
    // Cancel is the default of a question: Enter must not delete anything.
    if (buttons == Buttons::OkCancel)
        box.setDefaultButton(QMessageBox::Cancel);
    // The window system cuts a title that is wider than the box; make room for it.
    const int titleWidth = box.fontMetrics().horizontalAdvance(QString::fromStdString(title)) + 120;
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
        grid->addItem(new QSpacerItem(titleWidth, 0, QSizePolicy::Minimum, QSizePolicy::Expanding),
                      grid->rowCount(), 0, 1, grid->columnCount());
    return box.exec() == QMessageBox::Ok ? Answer::Ok : Answer::Cancel;
}

CMessageBox::Answer CMessageBox::ShowId(QWidget* owner, int stringId, Buttons buttons)
{
    return Show(owner, CMessageCatalogue::Get(stringId), {}, buttons);
}

void CMessageBox::SetHook(Hook h)
{
    hook() = std::move(h);
}

} // namespace tq9
