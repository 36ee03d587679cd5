#include "src/quorixapp/editors/optionlisteditor.h"

#include "src/quorixapp/managementstyle.h"

#include <panefind.h>
#include <panelabelwidget.h>
#include <panelineedit.h>
#include <panepushbutton.h>
#include <panescrollarea.h>
#include <panespaceritem.h>
#include <panewidget.h>

#include <QGraphicsScene>

namespace {

const char* const kNumberName = "edit_Lable";
const char* const kEditName = "voteOption";

QString numberText(int index)
{
    return QString::number(index + 1);
}

} // namespace

OptionListEditor::OptionListEditor(PaneWidget* page, const Setup& setup, int* nameCounter)
    : m_page(page), m_setup(setup), m_nameCounter(nameCounter)
{}

PaneWidget* OptionListEditor::container() const
{
    return m_page ? panefw::findChild<PaneWidget>(m_page.data(), QString::fromLatin1(m_setup.containerName))
                  : nullptr;
}

PaneLabelWidget* OptionListEditor::addLink() const
{
    return m_page
               ? panefw::findChild<PaneLabelWidget>(m_page.data(), QString::fromLatin1(m_setup.addLinkName))
               : nullptr;
}

void OptionListEditor::setAddLinkEnabled(bool enabled)
{
    if (PaneLabelWidget* link = addLink())
        link->setEnabled(enabled);
}

PaneWidget* OptionListEditor::addRow()
{
    namespace style = managementstyle;
    PaneWidget* box = container();
    if (!box || m_names.size() >= kMaxRows)
        return nullptr;
    const QString rowName = QStringLiteral("optionBox") + QString::number((*m_nameCounter)++);

    auto* row = new PaneWidget(box);
    row->setObjectName(rowName);
    row->setLayout(PaneWidget::HBox);
    row->setFixHeight(style::kRowHeight);
    row->setSpacing(style::kOptionRowSpacing);

    auto* number = new PaneLabelWidget(row);
    number->setObjectName(QString::fromLatin1(kNumberName));
    number->setText(numberText(m_names.size()));
    number->setFixWidth(m_setup.numberWidth);
    number->setTextColor(style::kOptionNumberColor);
    number->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    row->addItem(number);

    auto* edit = new PaneLineEdit(row);
    edit->setObjectName(QString::fromLatin1(kEditName));
    edit->setFixSize(QSizeF(style::kOptionEditWidth, style::kRowHeight));
    edit->setValidator(QRegExp(QString::fromLatin1(m_setup.validator)));
    row->addItem(edit);

    auto* remove = new PanePushButton(row);
    remove->setObjectName(rowName);
    remove->setFrameType(6);
    remove->setFixSize(style::kOptionDeleteSize);
    remove->setImagePath(QStringList{style::image("but_bianji_close_nomal.png"),
                                     style::image("but_bianji_close_hover.png"),
                                     style::image("but_bianji_close_press.png")}
                             .join('|'));
    row->addItem(remove);
    row->addItem(new PaneSpacerItem(row));

    box->addItem(row);
    m_names.append(rowName);
    QObject::connect(remove, SIGNAL(clicked()), m_setup.receiver, m_setup.deleteSlot);
    if (m_names.size() >= kMaxRows)
        setAddLinkEnabled(false);
    return row;
}

// The person sees the row they asked for and can add the next one.
void OptionListEditor::addRowInView()
{
    PaneWidget* row = addRow();
    PaneScrollArea* area = row ? PaneScrollArea::enclosing(row) : nullptr;
    if (!area)
        return;
    QList<const QGraphicsItem*> shown{row};
    if (PaneLabelWidget* link = addLink())
        shown << link;
    area->ensureItemsVisible(shown);
}

void OptionListEditor::deleteRow(const QString& rowName)
{
    PaneWidget* box = container();
    auto* row = box ? panefw::findChild<PaneWidget>(box, rowName) : nullptr;
    if (!row || row->parentItem() != box || !m_names.contains(rowName))
        return;
    box->removeItem(row);
    if (QGraphicsScene* scene = row->scene())
        scene->removeItem(row);
    // The delete button that asked for this is still inside its own clicked() emission.
    row->deleteLater();
    m_names.removeAll(rowName);
    renumber();
    setAddLinkEnabled(true);
}

void OptionListEditor::renumber()
{
    PaneWidget* box = container();
    for (int i = 1; i < m_names.size() && box; ++i) {
        auto* row = panefw::findChild<PaneWidget>(box, m_names.at(i));
        auto* number =
            row ? panefw::findChild<PaneLabelWidget>(row, QString::fromLatin1(kNumberName)) : nullptr;
        if (number)
            number->setText(numberText(i));
    }
}

QStringList OptionListEditor::texts() const
{
    QStringList texts;
    PaneWidget* box = container();
    for (const QString& name : m_names) {
        auto* row = box ? panefw::findChild<PaneWidget>(box, name) : nullptr;
        auto* edit = row ? panefw::findChild<PaneLineEdit>(row, QString::fromLatin1(kEditName)) : nullptr;
        texts << (edit ? edit->text() : QString());
    }
    return texts;
}

void OptionListEditor::setTexts(const QStringList& texts)
{
    trimTo(texts.size());
    for (int missing = texts.size() - m_names.size(); missing > 0; --missing)
        addRow();
    PaneWidget* box = container();
    for (int i = 0; i < m_names.size() && box; ++i) {
        auto* row = panefw::findChild<PaneWidget>(box, m_names.at(i));
        if (auto* edit = row ? panefw::findChild<PaneLineEdit>(row, QString::fromLatin1(kEditName)) : nullptr)
            edit->setText(texts.value(i));
    }
}

// Presses the delete buttons of the rows beyond `keep`, last first; the first row has none.
void OptionListEditor::trimTo(int keep)
{
    PaneWidget* box = container();
    for (int i = m_names.size() - 1; i >= qMax(keep, 1) && box; --i) {
        const QString name = m_names.at(i);
        auto* row = panefw::findChild<PaneWidget>(box, name);
        auto* button = row ? panefw::findChild<PanePushButton>(row, name) : nullptr;
        if (button)
            button->click();
        else
            deleteRow(name);
    }
}
