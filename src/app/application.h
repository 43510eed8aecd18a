#pragma once

#include <functional>
#include <memory>
#include <string>

class QIcon;

namespace velmora {

class DialogService;
class TForm1;
class TForm2;
class TForm3;
class TForm4;
class TForm5;

// The program's five forms, created hidden in their fixed order: the main form with the
// notification icon first, then the item list window, the registration dialog, and the options
// and version forms.
class Application
{
public:
    // onExit runs when the main form closes through "終了", which may happen while the forms
    // are still being created (a start-up error box runs an event loop of its own).
    Application(DialogService &dialogs, std::string executableDirectory, const QIcon &icon,
        std::function<void()> onExit);
    ~Application();

    TForm1 &mainForm() const { return *m_form1; }
    TForm2 &itemListForm() const { return *m_form2; }
    TForm3 &entryForm() const { return *m_form3; }

private:
    std::unique_ptr<TForm1> m_form1;
    std::unique_ptr<TForm2> m_form2;
    std::unique_ptr<TForm3> m_form3;
    std::unique_ptr<TForm4> m_form4;
    std::unique_ptr<TForm5> m_form5;
};

} // namespace velmora
