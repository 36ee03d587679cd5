#include "host/addonloader.h"

#include "componentfactory.h"
#include "iquorix.h"

#include <QDir>

#include <dlfcn.h>

AddonLoader::~AddonLoader()
{
    unload();
}

QString AddonLoader::componentPath() const
{
    return QDir(m_dir).filePath(QStringLiteral("libquorix.so"));
}

QString AddonLoader::applicationPath() const
{
    return QDir(m_dir).filePath(QStringLiteral("libquorixapp.so"));
}

bool AddonLoader::load(IComponentRoot* root, QString* error)
{
    auto fail = [error](const QString& text) {
        if (error)
            *error = text;
        return false;
    };
    if (m_component != nullptr)
        return fail(QStringLiteral("the add-on is already loaded"));
    if (m_library == nullptr)
        m_library = dlopen(componentPath().toLocal8Bit().constData(), RTLD_NOW | RTLD_LOCAL);
    if (m_library == nullptr)
        return fail(QString::fromLocal8Bit(dlerror())); // names the file and the reason
    auto factory = reinterpret_cast<CreateComInstanceFunction>(dlsym(m_library, "createComInstance"));
    if (factory == nullptr)
        return fail(QStringLiteral("%1 has no createComInstance").arg(componentPath()));
    void* out = nullptr;
    const HRESULT result = factory(kComponentId, nullptr, &out);
    if (result != S_OK || out == nullptr)
        return fail(QStringLiteral("createComInstance refused %1 (0x%2)")
                        .arg(kComponentId)
                        .arg(static_cast<quint32>(result), 8, 16, QLatin1Char('0')));
    comptr<IUnk> unknown = comptr<IUnk>::adopt(static_cast<IUnk*>(out));
    comptr<IQuorix> component = queryInterface<IQuorix>(unknown);
    if (!component)
        return fail(QStringLiteral("the component does not answer IQuorix_UUID"));
    if (!component->onLoad(root))
        return fail(QStringLiteral("the component refused to load"));
    m_component = component.detach();
    return true;
}

void AddonLoader::unload()
{
    if (m_component == nullptr)
        return;
    IQuorix* component = std::exchange(m_component, nullptr);
    if (m_applicationPin == nullptr)
        m_applicationPin = dlopen(applicationPath().toLocal8Bit().constData(), RTLD_LAZY | RTLD_NOLOAD);
    component->onUnLoad();
    component->release();
}

QString AddonLoader::applicationProblem() const
{
    const QString path = applicationPath();
    void* handle = dlopen(path.toLocal8Bit().constData(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr)
        return QString::fromLocal8Bit(dlerror());
    const bool hasStart = dlsym(handle, "onLoadEntAddon") != nullptr;
    dlclose(handle);
    if (!hasStart)
        return QStringLiteral("%1 has no onLoadEntAddon").arg(path);
    return QStringLiteral("%1 was not started by the entry component (see the log file)").arg(path);
}

bool AddonLoader::isApplicationLoaded() const
{
    void* handle = dlopen(applicationPath().toLocal8Bit().constData(), RTLD_LAZY | RTLD_NOLOAD);
    if (handle == nullptr)
        return false;
    dlclose(handle);
    return true;
}
