#pragma once

// The UI creator a host serves under its common component service: builds PaneFrameWindows
// from layouts for add-ons. A counted host object: created with one reference, destroyed by its
// last release().

#include "itovouicreator.h"

#include <atomic>

class PaneUICreatorService final : public ITovoUICreator
{
public:
    // A new service holding one reference for the caller.
    static PaneUICreatorService* create();

    unsigned long addRef() override;
    unsigned long release() override;
    bool queryInterface(const InterfaceId& iid, void** out) override;
    long reservedOperation() override { return 0; }

    PaneFrameWindow* createWindow(const QString& layoutPath, const QString& styleName,
                                  QWidget* parent) override;

private:
    PaneUICreatorService() = default;
    ~PaneUICreatorService() = default;

    std::atomic<unsigned long> m_refs{1};
};
