#include "paneuicreatorservice.h"

#include "panelayoutloader.h"
#include "panelog.h"

PaneUICreatorService* PaneUICreatorService::create()
{
    return new PaneUICreatorService;
}

unsigned long PaneUICreatorService::addRef()
{
    return ++m_refs;
}

unsigned long PaneUICreatorService::release()
{
    const unsigned long left = --m_refs;
    if (left == 0)
        delete this;
    return left;
}

bool PaneUICreatorService::queryInterface(const InterfaceId& iid, void** out)
{
    if (out == nullptr)
        return false;
    *out = nullptr;
    if (iid != IUnk::iid() && iid != ITovoUICreator::iid())
        return false;
    addRef();
    *out = static_cast<ITovoUICreator*>(this);
    return true;
}

PaneFrameWindow* PaneUICreatorService::createWindow(const QString& layoutPath, const QString& styleName,
                                                    QWidget* parent)
{
    if (!styleName.isEmpty())
        PANE_LOG(
            2,
            QStringLiteral("style %1 asked for %2; this framework has one style").arg(styleName, layoutPath));
    // A host callback: nothing may escape it.
    try {
        return PaneLayoutLoader::loadFile(layoutPath, parent);
    } catch (...) {
        PANE_LOG(1, QStringLiteral("building a window from %1 failed").arg(layoutPath));
        return nullptr;
    }
}
