#include "panemessagebox.h"

#include "panelog.h"

#include <QAbstractButton>

QPointer<PaneMessageBox> PaneMessageBox::s_last;

PaneMessageBox::PaneMessageBox(Icon icon, const QString& title, const QString& text, StandardButtons buttons,
                               QWidget* parent)
    : QMessageBox(icon, title, text, buttons, parent)
{
    setObjectName(QStringLiteral("paneMessageBox"));
    setAttribute(Qt::WA_DeleteOnClose, true);
    setWindowModality(Qt::NonModal);
    setModal(false);
    connect(this, &QMessageBox::buttonClicked, this,
            [this](QAbstractButton* button) { emit buttonChosen(int(standardButton(button))); });
}

PaneMessageBox* PaneMessageBox::warningAsync(QWidget* parent, const QString& title, const QString& text,
                                             StandardButtons buttons, StandardButton defaultButton,
                                             QObject* receiver, const char* member)
{
    return showAsync(Warning, parent, title, text, buttons, defaultButton, receiver, member);
}

PaneMessageBox* PaneMessageBox::informationAsync(QWidget* parent, const QString& title, const QString& text,
                                                 StandardButtons buttons, StandardButton defaultButton,
                                                 QObject* receiver, const char* member)
{
    return showAsync(Information, parent, title, text, buttons, defaultButton, receiver, member);
}

PaneMessageBox* PaneMessageBox::lastBox()
{
    return s_last.data();
}

PaneMessageBox* PaneMessageBox::showAsync(Icon icon, QWidget* parent, const QString& title,
                                          const QString& text, StandardButtons buttons,
                                          StandardButton defaultButton, QObject* receiver, const char* member)
{
    if (buttons == NoButton)
        buttons = Ok;
    auto* box = new PaneMessageBox(icon, title, text, buttons, parent);
    if (defaultButton != NoButton)
        box->setDefaultButton(defaultButton);
    if (receiver != nullptr && member != nullptr &&
        !connect(box, SIGNAL(buttonChosen(int)), receiver, member)) {
        PANE_LOG(1, QStringLiteral("message box answer cannot reach ") + QString::fromLatin1(member));
    }
    s_last = box;
    box->show();
    return box;
}
