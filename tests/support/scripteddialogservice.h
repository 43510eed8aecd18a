#pragma once

#include <deque>
#include <functional>
#include <optional>

#include <QString>
#include <QStringList>

#include "dialogservice.h"

namespace velmora::test {

// A dialog service that answers from a script: every box the code under test opens must be the
// next expected one (same kind, same text). Anything unexpected, and anything expected but never
// opened, is a failure that verify() reports.
class ScriptedDialogService : public DialogService
{
public:
    enum class Kind { Error, Hint, Confirm, OpenFile };

    void expectError(const QString &text);
    void expectHint(const QString &text);
    void expectConfirm(const QString &question, bool offerCancel, Answer answer);
    void expectOpenFile(const QString &filter, std::optional<QString> chosen);

    // Runs just before a box answers, for tests that look at the program's state at that moment.
    void onNextBox(std::function<void()> action);

    // Empty when the script was followed exactly; else what went wrong.
    QString verify() const;

    void showError(QWidget *parent, const QString &message) override;
    void showHint(QWidget *parent, const QString &text) override;
    Answer confirm(QWidget *parent, const QString &question, bool offerCancel) override;
    std::optional<QString> chooseFileToOpen(QWidget *parent, const QString &filter) override;

private:
    struct Step
    {
        Kind kind;
        QString text;
        bool offerCancel = false;
        Answer answer = Answer::Cancel;
        std::optional<QString> chosen;
    };
    const Step *next(Kind kind, const QString &text, bool offerCancel = false);

    std::deque<Step> m_steps;
    std::optional<Step> m_current;
    std::function<void()> m_onNextBox;
    QStringList m_failures;
};

} // namespace velmora::test
