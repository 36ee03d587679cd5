#include "hostuicreator.h"

#include "panelayoutloader.h"

bool HostUICreator::queryInterface(const InterfaceId& iid, void** out)
{
    if (iid == IUnk::iid() || iid == ITovoUICreator::iid()) {
        addRef();
        *out = static_cast<ITovoUICreator*>(this);
        return true;
    }
    *out = nullptr;
    return false;
}

PaneFrameWindow* HostUICreator::createWindow(const QString& layoutPath, const QString&, QWidget* parent)
{
    return PaneLayoutLoader::loadFile(layoutPath, parent);
}
