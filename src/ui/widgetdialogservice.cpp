#include "widgetdialogservice.h"

#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

#include "formfont.h"

namespace velmora {

namespace {

const char *const AnswerProperty = "velmoraAnswer";

// Message dialogs stand in the middle of the screen, not of the window that asked.
int runCentred(QDialog &dialog)
{
    dialog.adjustSize();
    QScreen *screen = dialog.parentWidget() ? dialog.parentWidget()->screen()
                                            : QGuiApplication::primaryScreen();
    if (screen) {
        QRect frame = dialog.frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        dialog.move(frame.topLeft());
    }
    return dialog.exec();
}

QPushButton *addAnswerButton(QMessageBox &box, const QString &text, DialogService::Answer answer)
{
    QPushButton *button = box.addButton(text, QMessageBox::ActionRole);
    button->setProperty(AnswerProperty, int(answer));
    return button;
}

} // namespace

WidgetDialogService::WidgetDialogService(QString applicationTitle)
    : m_applicationTitle(std::move(applicationTitle))
{ }

std::unique_ptr<QMessageBox> WidgetDialogService::buildBox(
    QWidget *parent, const QString &caption, const QString &text) const
{
    auto box = std::make_unique<QMessageBox>(parent);
    box->setWindowModality(Qt::ApplicationModal);
    box->setWindowTitle(caption);
    box->setText(text);
    box->setTextFormat(Qt::PlainText);
    box->setFont(formFont());
    return box;
}

std::unique_ptr<QMessageBox> WidgetDialogService::buildErrorBox(
    QWidget *parent, const QString &message) const
{
    auto box = buildBox(parent, m_applicationTitle, message);
    box->setIcon(QMessageBox::Critical);
    box->setDefaultButton(box->addButton(QStringLiteral("OK"), QMessageBox::AcceptRole));
    box->setEscapeButton(box->defaultButton());
    return box;
}

std::unique_ptr<QMessageBox> WidgetDialogService::buildHintBox(
    QWidget *parent, const QString &text) const
{
    auto box = buildBox(parent, m_applicationTitle, text);
    box->setIcon(QMessageBox::NoIcon);
    box->setDefaultButton(box->addButton(QStringLiteral("OK"), QMessageBox::AcceptRole));
    box->setEscapeButton(box->defaultButton());
    return box;
}

std::unique_ptr<QMessageBox> WidgetDialogService::buildConfirmBox(
    QWidget *parent, const QString &question, bool offerCancel) const
{
    auto box = buildBox(parent, QStringLiteral("確認"), question);
    box->setIcon(QMessageBox::Question);
    // One role for all three keeps them in this order on every desktop; the desktops' own
    // layouts would put "キャンセル" or "はい(&Y)" first.
    QPushButton *yes = addAnswerButton(*box, QStringLiteral("はい(&Y)"), Answer::Yes);
    QPushButton *no = addAnswerButton(*box, QStringLiteral("いいえ(&N)"), Answer::No);
    box->setDefaultButton(yes);
    box->setEscapeButton(no);
    if (offerCancel)
        box->setEscapeButton(addAnswerButton(*box, QStringLiteral("キャンセル"), Answer::Cancel));
    return box;
}

DialogService::Answer WidgetDialogService::answerOf(const QMessageBox &box)
{
    const QAbstractButton *clicked = box.clickedButton();
    if (!clicked || !clicked->property(AnswerProperty).isValid())
        return Answer::Cancel;
    return Answer(clicked->property(AnswerProperty).toInt());
}

std::unique_ptr<QFileDialog> WidgetDialogService::buildOpenFileDialog(
    QWidget *parent, const QString &filter) const
{
    auto dialog = std::make_unique<QFileDialog>(parent);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setNameFilter(filter);
#ifndef Q_OS_WIN
    // Qt's own dialog matches name filters in any letter case, as the Windows one does; some
    // desktops' native dialogs would hide "x.ini" behind a "*.INI" filter.
    dialog->setOption(QFileDialog::DontUseNativeDialog);
#endif
    return dialog;
}

void WidgetDialogService::showError(QWidget *parent, const QString &message)
{
    runCentred(*buildErrorBox(parent, message));
}

void WidgetDialogService::showHint(QWidget *parent, const QString &text)
{
    runCentred(*buildHintBox(parent, text));
}

DialogService::Answer WidgetDialogService::confirm(
    QWidget *parent, const QString &question, bool offerCancel)
{
    const auto box = buildConfirmBox(parent, question, offerCancel);
    runCentred(*box);
    return answerOf(*box);
}

std::optional<QString> WidgetDialogService::chooseFileToOpen(QWidget *parent, const QString &filter)
{
    const auto dialog = buildOpenFileDialog(parent, filter);
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty())
        return std::nullopt;
    return dialog->selectedFiles().constFirst();
}

} // namespace velmora
