#pragma once

#include "codec/voterecords.h"

#include <QObject>
#include <QPointer>

class QuorixController;

class recordWnd : public QObject
{
    Q_OBJECT
public:
    recordWnd();
    ~recordWnd() override;

    void init(QuorixController* controller);
    void showWindow();
    void refreshRecordList();

public slots:
    void onCloseBtnClicked();
};
