#pragma once

// The add-on's only path to the vote service: frames requests for the host's service
// connection and emits every incoming frame of its connection.

#include <QObject>

#include <string>

class EntServiceInterface : public QObject
{
    Q_OBJECT
public:
    EntServiceInterface();
    ~EntServiceInterface() override;

    void sendData(quint32 maxType, quint32 minType, const std::string& data);

signals:
    void serviceReadySignal();
    void dataArrivedSignal(quint32 maxType, quint32 minType, const std::string& data);
};
