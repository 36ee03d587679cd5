#pragma once

// The component object the host talks to. One per process, created by createComInstance and
// never destroyed; addRef and release do nothing. After onLoad it waits kLoadDelayMs, then loads
// the application library from its own directory and calls its onLoadEntAddon with the root;
// onUnLoad calls onUnLoadEntAddon and frees the library.

#include "componentfactory.h"
#include "iquorix.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

class EntAddonHelper;

extern "C" __attribute__((visibility("default"))) HRESULT createComInstance(const char* componentId,
                                                                            IUnk* outer, void** out);

class EntryApi : public QObject, public IQuorix
{
    Q_OBJECT
public:
    static constexpr int kLoadDelayMs = 5000;

    // The process-wide object, created on first use; null only when it cannot be created.
    static EntryApi* processInstance();

    unsigned long addRef() override;
    unsigned long release() override;
    bool queryInterface(const InterfaceId& iid, void** out) override;
    long reservedOperation() override;
    bool onLoad(IComponentRoot* comRoot) override;
    bool onUnLoad() override;

    IComponentRoot* getComRoot() const { return root; }
    EntAddonHelper* getAddonHelper() const { return addonHelper; }
    // The single-shot load timer; tests read its state and may fire it early. Reachable through
    // the meta-object so a host that only holds IQuorix can find it.
    Q_INVOKABLE QTimer* loadTimer() { return &timer; }

public slots:
    void onAddonAddSignal(quint32 addonId);
    void onSubChannelChangedSignal(quint32 subChannelId);
    void onCheckAppDllLoad();

private:
    EntryApi();

    bool LoadAddonLibrary();
    bool unLoadAddonLibrary();
    void dropAddonHelper();

    IComponentRoot* root = nullptr; // the host's; no reference held
    QPointer<EntAddonHelper> addonHelper;
    QTimer timer;
};
