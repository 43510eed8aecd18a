#include "scripteddialogservice.h"

namespace velmora::test {

namespace {

QString kindName(ScriptedDialogService::Kind kind)
{
    switch (kind) {
    case ScriptedDialogService::Kind::Error:
        return QStringLiteral("error");
    case ScriptedDialogService::Kind::Hint:
        return QStringLiteral("hint");
    case ScriptedDialogService::Kind::Confirm:
        return QStringLiteral("confirm");
    case ScriptedDialogService::Kind::OpenFile:
        return QStringLiteral("open-file");
    }
    return {};
}

} // namespace

void ScriptedDialogService::expectError(const QString &text)
{
    m_steps.push_back({ Kind::Error, text, false, Answer::Cancel, std::nullopt });
}

void ScriptedDialogService::expectHint(const QString &text)
{
    m_steps.push_back({ Kind::Hint, text, false, Answer::Cancel, std::nullopt });
}

void ScriptedDialogService::expectConfirm(const QString &question, bool offerCancel, Answer answer)
{
    m_steps.push_back({ Kind::Confirm, question, offerCancel, answer, std::nullopt });
}

void ScriptedDialogService::expectOpenFile(const QString &filter, std::optional<QString> chosen)
{
    m_steps.push_back({ Kind::OpenFile, filter, false, Answer::Cancel, std::move(chosen) });
}

void ScriptedDialogService::onNextBox(std::function<void()> action)
{
    m_onNextBox = std::move(action);
}

const ScriptedDialogService::Step *ScriptedDialogService::next(
    Kind kind, const QString &text, bool offerCancel)
{
    if (m_onNextBox)
        std::exchange(m_onNextBox, nullptr)();
    const QString seen = kindName(kind) + QStringLiteral(" \"") + text + QStringLiteral("\"");
    if (m_steps.empty()) {
        m_failures << QStringLiteral("unexpected ") + seen;
        return nullptr;
    }
    m_current = m_steps.front();
    m_steps.pop_front();
    if (m_current->kind != kind || m_current->text != text
        || m_current->offerCancel != offerCancel) {
        m_failures << QStringLiteral("expected ") + kindName(m_current->kind)
                + QStringLiteral(" \"") + m_current->text + QStringLiteral("\" but got ") + seen
                + (kind == Kind::Confirm ? QStringLiteral(" cancel=%1").arg(offerCancel)
                                         : QString());
        return nullptr;
    }
    return &*m_current;
}

QString ScriptedDialogService::verify() const
{
    QStringList problems = m_failures;
    for (const Step &step : m_steps)
        problems << QStringLiteral("never shown: ") + kindName(step.kind) + QStringLiteral(" \"")
                + step.text + QStringLiteral("\"");
    return problems.join(QStringLiteral("; "));
}

void ScriptedDialogService::showError(QWidget *, const QString &message)
{
    next(Kind::Error, message);
}

void ScriptedDialogService::showHint(QWidget *, const QString &text)
{
    next(Kind::Hint, text);
}

DialogService::Answer ScriptedDialogService::confirm(
    QWidget *, const QString &question, bool offerCancel)
{
    const Step *step = next(Kind::Confirm, question, offerCancel);
    return step ? step->answer : Answer::Cancel;
}

std::optional<QString> ScriptedDialogService::chooseFileToOpen(QWidget *, const QString &filter)
{
    const Step *step = next(Kind::OpenFile, filter);
    return step ? step->chosen : std::nullopt;
}

} // namespace velmora::test
