#include "panemessagebox.h"

#include "panelog.h"

#include <QAbstractButton>

namespace {

// Qt's own button texts are English unless a translation is installed; the framework's windows
// are Chinese, so the boxes name their buttons themselves.
const struct
{
    QMessageBox::StandardButton button;
    const char* text;
} kButtonTexts[] = {{QMessageBox::Ok, "确定"},
                    {QMessageBox::Cancel, "取消"},
                    {QMessageBox::Yes, "是"},
                    {QMessageBox::No, "否"}};

} // namespace

QPointer<PaneMessageBox> PaneMessageBox::s_last;

PaneMessageBox::PaneMessageBox(Icon icon, const QString& title, const QString& text, StandardButtons buttons,
                               QWidget* parent)
    : QMessageBox(icon, title, text, buttons, parent)
{
    setObjectName(QStringLiteral("paneMessageBox"));
    setAttribute(Qt::WA_DeleteOnClose, true);
    setWindowModality(Qt::NonModal);
    setModal(false);
    for (const auto& entry : kButtonTexts) {
        if (QAbstractButton* standard = button(entry.button))
            standard->setText(QString::fromUtf8(entry.text));
    }
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
