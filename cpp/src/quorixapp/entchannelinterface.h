#pragma once

// The add-on's view of the channel: channel numbers, channel window, keyword filter and
// sub-channel switches.

#include <QObject>
#include <QString>

class QWidget;

class EntChannelInterface : public QObject
{
    Q_OBJECT
public:
    EntChannelInterface();
    ~EntChannelInterface() override;

    QWidget* getChannelWindow() const;
    quint32 getChannelId() const;
    quint32 getSubChannelId() const;
    QString filterText(const QString& text) const;

signals:
    void subChannelChanged(quint32 newSubChannelId);
};
