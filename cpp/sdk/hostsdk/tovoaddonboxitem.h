#pragma once

// One button in the host's channel add-on box. The box creates it (ITovoAddonBoxEx position 9)
// and owns it; the add-on keeps a guarded pointer, sets its look and listens to clicked().
//
// Positions count the entries of the class's table of virtual operations from 1. QObject's own
// operations come first (1 to 12 with this compiler's two destructor entries); the setters the
// add-on calls sit at 14, 15, 16, 21 and 28.

#include "hosttypes.h"

#include <QObject>
#include <QString>

class TovoAddonBoxItem : public QObject
{
    Q_OBJECT
public:
    TovoAddonBoxItem(int addonId, int slot, QObject* parent = nullptr);
    ~TovoAddonBoxItem() override;

    HOSTSDK_RESERVED(13)
    virtual void setImagePath(const QString& path);   // 14: icon resource or file path
    virtual void setToolTipText(const QString& text); // 15
    virtual void setText(const QString& text);        // 16: label under the icon
    HOSTSDK_RESERVED(17)
    HOSTSDK_RESERVED(18)
    HOSTSDK_RESERVED(19)
    HOSTSDK_RESERVED(20)
    virtual void setName(const char* name); // 21: the add-on's short name
    HOSTSDK_RESERVED(22)
    HOSTSDK_RESERVED(23)
    HOSTSDK_RESERVED(24)
    HOSTSDK_RESERVED(25)
    HOSTSDK_RESERVED(26)
    HOSTSDK_RESERVED(27)
    virtual void setPriority(int priority); // 28: higher sorts first in the box

    int addonId() const { return m_addonId; }
    int slot() const { return m_slot; }
    QString imagePath() const { return m_imagePath; }
    QString toolTipText() const { return m_toolTipText; }
    QString text() const { return m_text; }
    QString name() const { return m_name; }
    int priority() const { return m_priority; }

    // Called by the box when the user presses the button.
    void click();

signals:
    void clicked();
    // Any setter ran; the box redraws the button.
    void changed();

private:
    int m_addonId;
    int m_slot;
    QString m_imagePath;
    QString m_toolTipText;
    QString m_text;
    QString m_name;
    int m_priority = 0;
};
