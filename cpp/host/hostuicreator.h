#pragma once

// The UI creator ("com.tovo.commoncomponentlevelservice"): builds the UI framework's windows from
// XML layouts for add-ons. Owned by the host.

#include "itovouicreator.h"

class HostUICreator : public ITovoUICreator
{
public:
    unsigned long addRef() override { return ++m_refs; }
    unsigned long release() override { return m_refs > 0 ? --m_refs : 0; }
    bool queryInterface(const InterfaceId& iid, void** out) override;
    long reservedOperation() override { return 0; }

    PaneFrameWindow* createWindow(const QString& layoutPath, const QString& styleName,
                                  QWidget* parent) override;

private:
    unsigned long m_refs = 0;
};
