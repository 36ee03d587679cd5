#pragma once

// Who the local user is and what role that user holds in the current channel.

#include <QObject>

class EntUserInterface : public QObject
{
    Q_OBJECT
public:
    EntUserInterface();
    ~EntUserInterface() override;

    quint32 getCurrentUserUid();
    bool isCurrentUserIsManager();
};
