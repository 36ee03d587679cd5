#include "panedynamiccreator.h"

#include "cperflogproxy.h"
#include "paneattributes.h"
#include "panelog.h"

#include <QHash>

#include <memory>

namespace {

// One registered class: its name (kept for the timing scope) and its factory.
struct CreatorNode
{
    QByteArray scopeName;
    PaneDynamicCreator::Factory factory;
};

QHash<QString, std::shared_ptr<CreatorNode>>& creators()
{
    static QHash<QString, std::shared_ptr<CreatorNode>> table;
    return table;
}

} // namespace

bool PaneDynamicCreator::registerClass(const QString& className, Factory factory)
{
    if (className.isEmpty() || !factory) {
        PANE_LOG(1, QStringLiteral("refused to register an empty class name or factory"));
        return false;
    }
    if (PaneAttributes::isBuiltInClass(className) || creators().contains(className)) {
        PANE_LOG(1, QStringLiteral("class already known, not registered again: ") + className);
        return false;
    }
    auto node = std::make_shared<CreatorNode>();
    node->scopeName = (className + QStringLiteral("::dynamicCreateObject") + className).toUtf8();
    node->factory = std::move(factory);
    creators().insert(className, node);
    return true;
}

bool PaneDynamicCreator::unregisterClass(const QString& className)
{
    return creators().remove(className) > 0;
}

bool PaneDynamicCreator::isRegistered(const QString& className)
{
    return creators().contains(className);
}

QStringList PaneDynamicCreator::registeredClasses()
{
    return creators().keys();
}

QGraphicsWidget* PaneDynamicCreator::create(const QString& className, QGraphicsItem* parent)
{
    // Hold the node so that a factory that unregisters its own class stays valid while it runs.
    const std::shared_ptr<CreatorNode> node = creators().value(className);
    if (!node) {
        PANE_LOG(1, QStringLiteral("no factory registered for class ") + className);
        return nullptr;
    }
    QGraphicsWidget* widget = nullptr;
    {
        CPerfLogProxy scope(node->scopeName.constData());
        try {
            widget = node->factory(parent);
        } catch (...) {
            PANE_LOG(1, QStringLiteral("factory of class %1 threw").arg(className));
            return nullptr;
        }
    }
    if (widget == nullptr)
        PANE_LOG(1, QStringLiteral("factory of class %1 returned no widget").arg(className));
    return widget;
}
