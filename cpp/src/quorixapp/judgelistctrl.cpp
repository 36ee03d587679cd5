#include "src/quorixapp/judgelistctrl.h"

#include "src/quorixapp/managementstyle.h"
#include "src/quorixapp/panelistctrrowwidget.h"
#include "src/quorixapp/quorixpanelistctrl.h"

#include <panelabelwidget.h>
#include <panepushbutton.h>

#include <QGraphicsScene>

#include <algorithm>

namespace {
const char* const kLabelName = "Lable";
const char* const kButtonName = "Button";
const int kIndexRole = 0;
} // namespace

JudgeListCtrl::JudgeListCtrl(QuorixPaneListCtrl* list) : m_pList(list) {}

JudgeListCtrl::~JudgeListCtrl()
{
    clear();
}

QString JudgeListCtrl::labelText(int index) const
{
    return QString::number(index + 1) + QStringLiteral("   ") + m_nicks[index] + QLatin1Char('(') +
           m_numbers[index] + QLatin1Char(')');
}

void JudgeListCtrl::addJudge(const QString& number, const QString& nick, quint32 uid)
{
    if (std::find(m_numbers.begin(), m_numbers.end(), number) != m_numbers.end())
        return;
    m_numbers.push_back(number);
    m_nicks.push_back(nick);
    m_uids.push_back(uid);
    if (!m_pList)
        return;
    const int index = int(m_numbers.size()) - 1;
    PaneListCtrRowWidget* row = m_pList->insertRow(index, managementstyle::kRowHeight);
    if (!row)
        return;
    row->setRowImages(QString(), QString(), managementstyle::image("line_hover_bg.png"), QString());

    auto* label = new PaneLabelWidget(row);
    label->setObjectName(QString::fromLatin1(kLabelName));
    label->setText(labelText(index));
    m_pList->placeInRow(index, label, managementstyle::kJudgeLabelRect);

    auto* button = new PanePushButton(row);
    button->setObjectName(QString::fromLatin1(kButtonName));
    button->setFrameType(PaneFrameItem::Centered);
    button->setImagePath(managementstyle::image("but_bianji_close_hover.png"));
    button->setData(kIndexRole, index);
    connect(button, &PanePushButton::clicked, this, &JudgeListCtrl::OnButtonClick, Qt::UniqueConnection);
    m_pList->placeInRow(index, button, managementstyle::kJudgeRemoveRect);
}

void JudgeListCtrl::removeJudgeRow(int index)
{
    if (!m_pList)
        return;
    if (QGraphicsItem* label = m_pList->findInRow(index, QString::fromLatin1(kLabelName)))
        delete label;
    if (PaneWidget* button = m_pList->findInRow(index, QString::fromLatin1(kButtonName))) {
        button->disconnect(this);
        if (QGraphicsScene* scene = button->scene())
            scene->removeItem(button);
        button->setParentItem(nullptr);
        // The button may be the one whose clicked() is being delivered right now.
        button->deleteLater();
    }
    m_pList->removeRow(index);
}

void JudgeListCtrl::OnButtonClick()
{
    auto* button = qobject_cast<QGraphicsObject*>(sender());
    if (!button)
        return;
    const int index = button->data(kIndexRole).toInt();
    if (index < 0 || index >= int(m_numbers.size()))
        return;
    removeJudgeRow(index);
    m_numbers.erase(m_numbers.begin() + index);
    m_nicks.erase(m_nicks.begin() + index);
    m_uids.erase(m_uids.begin() + index);
    relabel();
    emit removeItem(index);
}

void JudgeListCtrl::relabel()
{
    if (!m_pList)
        return;
    for (int j = 0; j < int(m_numbers.size()); ++j) {
        if (auto* label =
                qobject_cast<PaneLabelWidget*>(m_pList->findInRow(j, QString::fromLatin1(kLabelName))))
            label->setText(labelText(j));
        if (PaneWidget* button = m_pList->findInRow(j, QString::fromLatin1(kButtonName)))
            button->setData(kIndexRole, j);
    }
}

void JudgeListCtrl::clear()
{
    for (int i = int(m_numbers.size()) - 1; i >= 0; --i)
        removeJudgeRow(i);
    m_numbers.clear();
    m_nicks.clear();
    m_uids.clear();
}
