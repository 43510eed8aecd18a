#pragma once

#include <optional>

#include <QString>

class QWidget;

namespace velmora {

// Every message box and file dialog of the program goes through this service, so that tests
// can answer them.
class DialogService
{
public:
    enum class Answer { Yes, No, Cancel };

    virtual ~DialogService() = default;

    // The error box: error icon, one OK button, the application title as caption.
    virtual void showError(QWidget *parent, const QString &message) = 0;

    // A hint: no icon, one OK button, the application title as caption.
    virtual void showHint(QWidget *parent, const QString &text) = 0;

    // A question with "はい(&Y)" and "いいえ(&N)", and "キャンセル" when offerCancel is set.
    virtual Answer confirm(QWidget *parent, const QString &question, bool offerCancel) = 0;

    // The platform's open-file dialog; the chosen file's full path, or nothing when cancelled.
    virtual std::optional<QString> chooseFileToOpen(QWidget *parent, const QString &filter) = 0;
};

} // namespace velmora
