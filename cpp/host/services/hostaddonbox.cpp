#include "host/services/hostaddonbox.h"

#include "host/windows/channelwindow.h"

#include "tovoaddonboxitem.h"

#include <QPixmap>
#include <QToolButton>

HostAddonBox::HostAddonBox(ChannelWindow* window) : m_window(window) {}

HostAddonBox::~HostAddonBox()
{
    for (const auto& entry : m_entries) {
        if (entry.second && m_window)
            m_window->removeAddonButton(entry.second);
    }
}

bool HostAddonBox::queryInterface(const InterfaceId& iid, void** out)
{
    if (iid == IUnk::iid() || iid == ITovoAddonBoxEx::iid()) {
        addRef();
        *out = static_cast<ITovoAddonBoxEx*>(this);
        return true;
    }
    *out = nullptr;
    return false;
}

TovoAddonBoxItem* HostAddonBox::createItem(int addonId, int slot)
{
    auto* item = new TovoAddonBoxItem(addonId, slot, this);
    QToolButton* button =
        m_window ? m_window->addAddonButton(QStringLiteral("addonButton%1").arg(m_entries.size())) : nullptr;
    m_entries.append({item, button});
    if (button != nullptr) {
        connect(button, &QToolButton::clicked, item, &TovoAddonBoxItem::click);
        connect(item, &TovoAddonBoxItem::changed, button,
                [this, item, button] { refreshButton(item, button); });
        connect(item, &QObject::objectNameChanged, button,
                [button](const QString& name) { button->setObjectName(name); });
    }
    emit itemCreated(item);
    return item;
}

// The icon is decoded at once: the image may live in the add-on's resources, which leave the
// process with the add-on.
void HostAddonBox::refreshButton(TovoAddonBoxItem* item, QToolButton* button)
{
    button->setText(item->text());
    button->setToolTip(item->toolTipText());
    const QPixmap pixmap(item->imagePath());
    if (!pixmap.isNull())
        button->setIcon(QIcon(pixmap));
}

QList<TovoAddonBoxItem*> HostAddonBox::items() const
{
    QList<TovoAddonBoxItem*> out;
    for (const auto& entry : m_entries) {
        if (entry.first)
            out << entry.first.data();
    }
    return out;
}

QToolButton* HostAddonBox::buttonFor(const TovoAddonBoxItem* item) const
{
    for (const auto& entry : m_entries) {
        if (entry.first == item)
            return entry.second.data();
    }
    return nullptr;
}
