#pragma once

// One editable list of option rows inside an editor page: a container widget whose rows hold a
// number, a text field and a delete button, and the add link below them. The first row comes
// from the layout and has no delete button; added rows are named "optionBox<n>" from a counter
// the owner may share between lists, so no two rows of one page have the same name. A delete
// button is connected to the owner's slot, which passes the button's name to deleteRow().

#include <panewidget.h>

#include <QPointer>
#include <QStringList>

class PaneLabelWidget;
class QObject;

class OptionListEditor
{
public:
    static constexpr int kMaxRows = 10;

    struct Setup
    {
        const char* containerName;
        const char* addLinkName;
        qreal numberWidth;
        const char* validator;
        QObject* receiver;
        const char* deleteSlot;
    };

    OptionListEditor(PaneWidget* page, const Setup& setup, int* nameCounter);

    const QStringList& rowNames() const { return m_names; }
    QStringList texts() const;

    // The new row, or null when the list is full or the page is gone.
    PaneWidget* addRow();
    // Adds a row and scrolls it into view with the add link below it, when both fit.
    void addRowInView();
    void deleteRow(const QString& rowName);
    // The rows are exactly `texts`: surplus rows are deleted through their buttons (the first
    // row always stays), missing ones added, and every row gets its text (empty past the end).
    void setTexts(const QStringList& texts);

private:
    PaneWidget* container() const;
    PaneLabelWidget* addLink() const;
    void setAddLinkEnabled(bool enabled);
    void renumber();
    void trimTo(int keep);

    QPointer<PaneWidget> m_page;
    Setup m_setup;
    int* m_nameCounter;
    QStringList m_names{QStringLiteral("optionBox1")};
};
