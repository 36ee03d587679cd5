#pragma once

// The channel's add-on box ("com.tovo.channelserviceex"): each item an add-on creates becomes a
// button in the channel window that shows the item's icon, text and tool tip and clicks the item
// when pressed. The box owns its items until the host ends; add-ons keep guarded pointers.

#include "itovoaddonboxex.h"

#include <QObject>
#include <QPointer>

class ChannelWindow;
class QToolButton;
class TovoAddonBoxItem;

class HostAddonBox : public QObject, public ITovoAddonBoxEx
{
    Q_OBJECT
public:
    explicit HostAddonBox(ChannelWindow* window);
    ~HostAddonBox() override;

    unsigned long addRef() override { return ++m_refs; }
    unsigned long release() override { return m_refs > 0 ? --m_refs : 0; }
    bool queryInterface(const InterfaceId& iid, void** out) override;
    long reservedOperation() override { return 0; }

    TovoAddonBoxItem* createItem(int addonId, int slot) override;

    QList<TovoAddonBoxItem*> items() const;
    // The button showing `item`, or null.
    QToolButton* buttonFor(const TovoAddonBoxItem* item) const;

signals:
    void itemCreated(TovoAddonBoxItem* item);

private:
    void refreshButton(TovoAddonBoxItem* item, QToolButton* button);

    QPointer<ChannelWindow> m_window;
    QList<QPair<QPointer<TovoAddonBoxItem>, QPointer<QToolButton>>> m_entries;
    unsigned long m_refs = 0;
};
