#pragma once

// The sizes, colours, fonts and images of the management window's own widgets (vote rows, option
// rows, judge rows, page labels), in one place; the layout file holds the rest.

#include <QColor>
#include <QFont>
#include <QRectF>
#include <QSizeF>
#include <QString>

namespace managementstyle {

const char* const kImageDir = ":/image/theme/quorix/image/";

inline QString image(const char* file)
{
    return QString::fromLatin1(kImageDir) + QString::fromLatin1(file);
}

// Rows of the vote list, the option lists and the judge list.
const qreal kRowHeight = 30;

// Links that act ("开启", "编辑", "删除") and the same links while they cannot.
const QColor kLinkColor(0, 113, 192);
const QColor kGreyColor(153, 153, 153);

// A vote row: check box, vote name and the box of its three links, each link this wide.
const QColor kVoteNameColor(51, 51, 51);
const QRectF kVoteCheckRect(19, 4, 16, 18);
const QRectF kVoteNameRect(44, 4, 336, 18);
const QRectF kVoteLinksRect(370, 4, 130, 18);
const qreal kVoteLinkWidth = 35;

// An option row: its number, the text field and the delete button.
const QColor kOptionNumberColor(102, 102, 102);
const qreal kOptionRowSpacing = 5;
const qreal kOptionEditWidth = 320;
const QSizeF kOptionDeleteSize(22, 22);
const qreal kNormalNumberWidth = 12;
const qreal kTeamNumberWidth = 19;

// A judge row: its label and the remove button.
const QRectF kJudgeLabelRect(37, 4, 400, 18);
const QRectF kJudgeRemoveRect(460, 4, 22, 22);

// The vote counts on the start page and the list page, and the history page's day heading.
inline QFont voteCountFont()
{
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(18);
    return font;
}

inline QFont historyDayFont()
{
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(14);
    font.setBold(true);
    return font;
}

} // namespace managementstyle
