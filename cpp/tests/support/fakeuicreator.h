#pragma once

// The host's "com.tovo.commoncomponentlevelservice" UI creator. Without a factory it answers
// null (a broken layout); tests that need windows set a factory, for example one that uses the
// UI framework's loader.

#include "tests/support/fakeunknown.h"
#include "itovouicreator.h"

#include <QString>
#include <QStringList>

#include <functional>

class FakeUICreator : public FakeUnknown<ITovoUICreator>
{
public:
    using Factory = std::function<PaneFrameWindow*(const QString&, const QString&, QWidget*)>;

    void setFactory(Factory factory) { m_factory = std::move(factory); }
    const QStringList& requestedLayouts() const { return m_layouts; }

    PaneFrameWindow* createWindow(const QString& layoutPath, const QString& styleName,
                                  QWidget* parent) override
    {
        m_layouts.append(layoutPath);
        return m_factory ? m_factory(layoutPath, styleName, parent) : nullptr;
    }

private:
    Factory m_factory;
    QStringList m_layouts;
};
