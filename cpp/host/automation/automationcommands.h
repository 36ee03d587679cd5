#pragma once

// Executes one automation command (a JSON object) and builds its answer: {"id":…,"ok":true,…}
// or {"id":…,"ok":false,"error":"…"}. Never throws; unknown commands and missing windows or
// widgets are answered with ok false.

#include <QJsonObject>

class AutomationTarget;

class AutomationCommands
{
public:
    explicit AutomationCommands(AutomationTarget* target) : m_target(target) {}

    QJsonObject execute(const QJsonObject& command);
    // Parses one line; a line that is not a JSON object gets an error answer.
    QJsonObject executeLine(const QByteArray& line);

private:
    QJsonObject windows() const;
    QJsonObject onWidget(const QString& name, const QJsonObject& command);
    QJsonObject grab(const QJsonObject& command);
    QJsonObject webLink(const QJsonObject& command);

    AutomationTarget* m_target;
};
