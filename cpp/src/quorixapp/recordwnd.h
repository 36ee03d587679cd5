#pragma once

// The vote history window for users who do not manage the channel. Built from its layout on the
// first init() and afterwards only shown and hidden; unInit() (run by the destructor) deletes
// the window. The rows are those of the management window's history page.

#include <quorix/protocol/voterecords.h>

#include <QObject>
#include <QPointer>

class QuorixController;
class PaneFrameWindow;

class recordWnd : public QObject
{
    Q_OBJECT
public:
    recordWnd();
    ~recordWnd() override;

    void init(QuorixController* controller);
    void unInit();
    void showWindow();
    void refreshRecordList();

    PaneFrameWindow* window() const;

public slots:
    void onCloseBtnClicked();
    void onRecordListRowPressed(int row);

private:
    QPointer<QuorixController> m_pController;
    QPointer<PaneFrameWindow> m_pWindow;
};
