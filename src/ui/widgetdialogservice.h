#pragma once

#include <memory>

#include "dialogservice.h"

class QMessageBox;
class QFileDialog;

namespace velmora {

// The dialog service of the running program: real message boxes and the open-file dialog.
// Each box is built completely before it is run, so tests can check a built box.
class WidgetDialogService : public DialogService
{
public:
    explicit WidgetDialogService(QString applicationTitle);

    void showError(QWidget *parent, const QString &message) override;
    void showHint(QWidget *parent, const QString &text) override;
    Answer confirm(QWidget *parent, const QString &question, bool offerCancel) override;
    std::optional<QString> chooseFileToOpen(QWidget *parent, const QString &filter) override;

    std::unique_ptr<QMessageBox> buildErrorBox(QWidget *parent, const QString &message) const;
    std::unique_ptr<QMessageBox> buildHintBox(QWidget *parent, const QString &text) const;
    std::unique_ptr<QMessageBox> buildConfirmBox(
        QWidget *parent, const QString &question, bool offerCancel) const;
    std::unique_ptr<QFileDialog> buildOpenFileDialog(QWidget *parent, const QString &filter) const;

    // The answer a confirmation box was left with; closing it counts as "キャンセル".
    static Answer answerOf(const QMessageBox &box);

private:
    std::unique_ptr<QMessageBox> buildBox(
        QWidget *parent, const QString &caption, const QString &text) const;

    QString m_applicationTitle;
};

} // namespace velmora
