#include "application.h"

#include <QIcon>

#include "entryform.h"
#include "entrylistform.h"
#include "mainform.h"
#include "optionform.h"
#include "versionform.h"

namespace velmora {

Application::Application(DialogService &dialogs, std::string executableDirectory, const QIcon &icon,
    std::function<void()> onExit)
{
    m_form1 = std::make_unique<TForm1>(dialogs, executableDirectory, icon);
    QObject::connect(m_form1.get(), &TForm1::closed, m_form1.get(), std::move(onExit));
    m_form1->FormCreate();
    TForm1 &main = *m_form1;
    m_form2 = std::make_unique<TForm2>(
        main.itemList(), dialogs, executableDirectory,
        [this](int index) { return m_form3->EditItem(index); }, [&main] { main.RebuildTrayMenu(); },
        nullptr, ComponentCreation::OnFirstShow);
    m_form3 = std::make_unique<TForm3>(
        main.itemList(), dialogs, nullptr, ComponentCreation::OnFirstShow);
    m_form4 = std::make_unique<TForm4>(nullptr, ComponentCreation::OnFirstShow);
    m_form5 = std::make_unique<TForm5>();
    main.setShowItemList([this] { m_form2->ShowItemList(); });
    QObject::connect(&main, &TForm1::closed, m_form2.get(), [this] { m_form2->programEnding(); });
}

Application::~Application() = default;

} // namespace velmora
