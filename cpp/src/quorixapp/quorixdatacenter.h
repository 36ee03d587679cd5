#pragma once

// Part of the object graph handed to the controller; it carries no data (the controller owns
// the vote stores).

#include <QObject>

class QuorixDataCenter : public QObject
{
    Q_OBJECT
public:
    QuorixDataCenter() = default;
};
