#pragma once

// Fills a QuorixPaneListCtrl with the judges of a judge vote, one row per judge with a label
// "<position>   <nick>(<number>)" and a remove button. The three vectors are parallel: entry i
// of each, and row i of the list, describe the same judge. The list is not owned; the rows
// this object added are removed by clear() and by the destructor.

#include <QObject>
#include <QPointer>
#include <QString>

#include <vector>

class QuorixPaneListCtrl;

class JudgeListCtrl : public QObject
{
    Q_OBJECT
public:
    explicit JudgeListCtrl(QuorixPaneListCtrl* list);
    ~JudgeListCtrl() override;

    // Ignored when the number is already listed.
    void addJudge(const QString& number, const QString& nick, quint32 uid);
    void clear();

    const std::vector<QString>& numbers() const { return m_numbers; }
    const std::vector<QString>& nicks() const { return m_nicks; }
    const std::vector<quint32>& uids() const { return m_uids; }

signals:
    void removeItem(int index);

public slots:
    void OnButtonClick();

private:
    void removeJudgeRow(int index);
    void relabel();
    QString labelText(int index) const;

    std::vector<QString> m_numbers;
    std::vector<QString> m_nicks;
    std::vector<quint32> m_uids;
    QPointer<QuorixPaneListCtrl> m_pList;
};
