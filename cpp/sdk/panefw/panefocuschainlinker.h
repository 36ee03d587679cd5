#pragma once

// Attaches the widgets a layout load makes to their parents at constant cost per widget, then
// links the focus chain once, in tree order.
//
// Giving a widget a parent walks the parent's whole part of the focus chain (every descendant
// attached before it) to find where the newcomer goes, so attaching N siblings costs N². A panel
// is left out of that walk: the linker attaches each parentless widget as a panel and turns it
// back into an ordinary widget at once. Such widgets are out of their parent's chain until
// linkInTreeOrder puts the whole tree in one chain: each widget, then its children's subtrees in
// order, which is where the walk puts each widget of a tree built by attaching children in order.
// The tree must be outside a scene while widgets are attached as panels (a scene remembers a
// panel that enters it as the one to activate).

class QGraphicsWidget;

class PaneFocusChainLinker
{
public:
    // Parents the widget (through PaneWidget::addItem when the parent is a PaneWidget, which may
    // put it in an inner widget). A widget that already has a parent is only added to the layout.
    static void attach(QGraphicsWidget* widget, QGraphicsWidget* parent);
    static void linkInTreeOrder(QGraphicsWidget* root);

private:
    static void addToParent(QGraphicsWidget* widget, QGraphicsWidget* parent);
    static QGraphicsWidget* linkChildren(QGraphicsWidget* widget, QGraphicsWidget* previous);
};
