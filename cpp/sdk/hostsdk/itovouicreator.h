#pragma once

// Builds windows of the UI framework from XML layouts.

#include "hosttypes.h"
#include "iunk.h"

#include <QString>

class PaneFrameWindow;
class QWidget;

class ITovoUICreator : public IUnk
{
public:
    HOSTSDK_INTERFACE_ID(ITovoUICreator)

    HOSTSDK_RESERVED(5)
    // 6: the window described by the layout at `layoutPath` (a resource or file path), or null
    // when the layout is missing or broken. `styleName` is empty for the add-on. The caller owns
    // the window unless `parent` is given.
    virtual PaneFrameWindow* createWindow(const QString& layoutPath, const QString& styleName,
                                          QWidget* parent) = 0;

protected:
    ~ITovoUICreator() = default;
};
