#include "src/quorixapp/editors/voteeditor.h"

#include "src/quorixapp/entchannelinterface.h"
#include "src/quorixapp/quorixapp.h"

#include <panecombobox.h>
#include <panefind.h>
#include <panelineedit.h>
#include <panewidget.h>

VoteEditor::VoteEditor(PaneWidget* page, quint32 kind, const char* timeBoxName, Warn warn)
    : m_timeBoxName(timeBoxName), m_page(page), m_kind(kind), m_warn(std::move(warn))
{}

VoteEditor::~VoteEditor() = default;

quint32 VoteEditor::toU32(const QString& text)
{
    bool ok = false;
    const quint32 value = text.toUInt(&ok);
    return ok ? value : 0;
}

QString VoteEditor::text(const char* name) const
{
    if (!m_page)
        return QString();
    const QString objectName = QString::fromLatin1(name);
    if (auto* edit = panefw::findChild<PaneLineEdit>(m_page.data(), objectName))
        return edit->text();
    auto* box = panefw::findChild<PaneComboBox>(m_page.data(), objectName);
    if (!box)
        return QString();
    if (PaneLineEdit* edit = box->lineEdit())
        return edit->text();
    return box->currentText();
}

void VoteEditor::setText(const char* name, const QString& text)
{
    if (!m_page)
        return;
    const QString objectName = QString::fromLatin1(name);
    if (auto* edit = panefw::findChild<PaneLineEdit>(m_page.data(), objectName))
        edit->setText(text);
    else if (auto* box = panefw::findChild<PaneComboBox>(m_page.data(), objectName))
        if (PaneLineEdit* boxEdit = box->lineEdit())
            boxEdit->setText(text);
}

bool VoteEditor::validate() const
{
    EntChannelInterface* channel = QuorixApp::instance()->getChannelInterface();
    if (!m_page || !channel)
        return false;
    QStringList texts;
    for (const QString& raw : requiredTexts())
        texts << channel->filterText(raw);
    if (hasTickets() && toU32(texts.value(2)) < toU32(texts.value(3))) {
        warn(QStringLiteral("每人可投票数需应该大于等于每项可投票数"));
        return false;
    }
    for (const QString& text : texts) {
        if (text.isEmpty()) {
            warn(QStringLiteral("填写内容不能为空哦"));
            return false;
        }
    }
    return true;
}

quorix::VoteInfo VoteEditor::record() const
{
    quorix::VoteInfo vote;
    vote.voteId = m_editId;
    vote.voteType = m_kind;
    vote.name = text("voteName").toStdString();
    vote.limitTime = toU32(text(m_timeBoxName));
    fillRecord(vote);
    // The page has no say in when the results are shown: a stored vote keeps its setting.
    if (m_editId != 0 && m_openedResultsShown != quorix::kResultsLive)
        vote.limits[quorix::kResultsShown] = m_openedResultsShown;
    return vote;
}

void VoteEditor::open(const quorix::VoteInfo& vote)
{
    setText("voteName", QString::fromStdString(vote.name));
    setText(m_timeBoxName, QString::number(vote.limitTime));
    m_editId = vote.voteId;
    m_openedResultsShown = vote.ticketLimit(quorix::kResultsShown);
    openRecord(vote);
}

QStringList VoteEditor::ticketTexts() const
{
    return {text("voteName"), text(m_timeBoxName), text("maxTicket"), text("maxOptionTicket")};
}

void VoteEditor::setTicketTexts(const quorix::VoteInfo& vote)
{
    setText("maxTicket", QString::number(vote.ticketLimit(quorix::kTicketsPerUser)));
    setText("maxOptionTicket", QString::number(vote.ticketLimit(quorix::kTicketsPerOption)));
}

void VoteEditor::fillTicketLimits(quorix::VoteInfo& vote) const
{
    vote.limits = {{quorix::kTicketsPerUser, toU32(text("maxTicket"))},
                   {quorix::kTicketsPerOption, toU32(text("maxOptionTicket"))}};
}
