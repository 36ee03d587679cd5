// PaneBoxLayout must place items exactly as a linear layout does, whatever the mix of sizes,
// policies, alignments, margins and spacing, and after inserting, removing and turning the box.

#include "paneboxlayout.h"

#include <QGraphicsLinearLayout>
#include <QGraphicsWidget>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <vector>

namespace {

struct ItemSpec
{
    QSizeF minimum;
    QSizeF preferred;
    QSizeF maximum;
    QSizePolicy::Policy horizontal;
    QSizePolicy::Policy vertical;
    Qt::Alignment alignment; // none: the box's default
    bool hidden;
};

const QSizeF kNoMax(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
const ItemSpec kFixed{{30, 20}, {30, 20}, {30, 20}, QSizePolicy::Fixed, QSizePolicy::Fixed, {}, false};
const ItemSpec kPreferred{{10, 10}, {40, 25}, kNoMax, QSizePolicy::Preferred, QSizePolicy::Preferred,
                          {},       false};
const ItemSpec kSmallPreferred{{0, 0}, {15, 12}, kNoMax, QSizePolicy::Preferred, QSizePolicy::Preferred,
                               {},     false};
const ItemSpec kSpacer{{0, 0}, {0, 0}, kNoMax, QSizePolicy::Expanding, QSizePolicy::Expanding, {}, false};
const ItemSpec kCapped{{5, 5}, {20, 20}, {35, 28}, QSizePolicy::Expanding, QSizePolicy::Preferred, {}, false};
const ItemSpec kRightBottom{
    {30, 20}, {30, 20}, {30, 20}, QSizePolicy::Fixed, QSizePolicy::Fixed, Qt::AlignRight | Qt::AlignBottom,
    false};
const ItemSpec kCentred{{30, 20},           {30, 20},         {30, 20}, QSizePolicy::Fixed,
                        QSizePolicy::Fixed, Qt::AlignHCenter, false};
const ItemSpec kHidden{{30, 20}, {30, 20}, {30, 20}, QSizePolicy::Fixed, QSizePolicy::Fixed, {}, true};

QGraphicsWidget* makeItem(const ItemSpec& spec, QGraphicsWidget* parent)
{
    auto* item = new QGraphicsWidget(parent);
    item->setMinimumSize(spec.minimum);
    item->setPreferredSize(spec.preferred);
    item->setMaximumSize(spec.maximum);
    item->setSizePolicy(spec.horizontal, spec.vertical);
    item->setVisible(!spec.hidden);
    return item;
}

// One box under test: a linear layout or a PaneBoxLayout holding the same items.
class Box
{
public:
    virtual ~Box() = default;
    virtual void append(QGraphicsWidget* item, Qt::Alignment alignment) = 0;
    virtual void insert(int index, QGraphicsWidget* item) = 0;
    virtual void remove(QGraphicsWidget* item) = 0;
    virtual void turn(Qt::Orientation orientation) = 0;
    QGraphicsWidget widget;
    std::vector<QGraphicsWidget*> items;
};

class LinearBox : public Box
{
public:
    explicit LinearBox(Qt::Orientation orientation) : layout(new QGraphicsLinearLayout(orientation))
    {
        widget.setLayout(layout);
    }
    void append(QGraphicsWidget* item, Qt::Alignment alignment) override
    {
        layout->addItem(item);
        layout->setAlignment(item, alignment ? alignment : defaultAlignment());
    }
    void insert(int index, QGraphicsWidget* item) override
    {
        layout->insertItem(index, item);
        layout->setAlignment(item, defaultAlignment());
    }
    void remove(QGraphicsWidget* item) override { layout->removeItem(item); }
    void turn(Qt::Orientation orientation) override
    {
        layout->setOrientation(orientation);
        for (int i = 0; i < layout->count(); ++i)
            layout->setAlignment(layout->itemAt(i), defaultAlignment());
    }
    Qt::Alignment defaultAlignment() const
    {
        return layout->orientation() == Qt::Horizontal ? Qt::AlignLeft | Qt::AlignVCenter
                                                       : Qt::AlignLeft | Qt::AlignTop;
    }
    QGraphicsLinearLayout* layout;
};

class PaneBox : public Box
{
public:
    explicit PaneBox(Qt::Orientation orientation) : layout(new PaneBoxLayout(orientation))
    {
        widget.setLayout(layout);
    }
    void append(QGraphicsWidget* item, Qt::Alignment alignment) override
    {
        layout->appendItem(item);
        if (alignment)
            layout->setItemAlignment(item, alignment);
    }
    void insert(int index, QGraphicsWidget* item) override { layout->insertItemAt(index, item); }
    void remove(QGraphicsWidget* item) override { layout->removeLayoutItem(item); }
    void turn(Qt::Orientation orientation) override { layout->setOrientation(orientation); }
    PaneBoxLayout* layout;
};

struct BoxCase
{
    const char* name;
    Qt::Orientation orientation;
    std::vector<ItemSpec> items;
    QSizeF size;
    std::function<void(Box&)> change; // applied to both boxes after the items are in
};

void PrintTo(const BoxCase& c, std::ostream* out)
{
    *out << c.name;
}

void build(Box& box, const BoxCase& c)
{
    box.widget.setContentsMargins(0, 0, 0, 0);
    static_cast<QGraphicsLayout*>(box.widget.layout())->setContentsMargins(3, 5, 7, 2);
    box.widget.layout()->setMinimumSize(0, 0);
    if (auto* grid = dynamic_cast<QGraphicsGridLayout*>(box.widget.layout()))
        grid->setSpacing(4);
    else
        static_cast<QGraphicsLinearLayout*>(box.widget.layout())->setSpacing(4);
    for (const ItemSpec& spec : c.items) {
        QGraphicsWidget* item = makeItem(spec, &box.widget);
        box.items.push_back(item);
        box.append(item, spec.alignment);
    }
    if (c.change)
        c.change(box);
    box.widget.resize(c.size);
    box.widget.layout()->activate();
}

const std::vector<ItemSpec> kMix = {kFixed, kPreferred, kSpacer, kCapped, kSmallPreferred, kFixed};

class PaneBoxLayoutTest : public ::testing::TestWithParam<BoxCase>
{
};

TEST_P(PaneBoxLayoutTest, PlacesItemsAsALinearLayout)
{
    const BoxCase& c = GetParam();
    LinearBox linear(c.orientation);
    PaneBox pane(c.orientation);
    build(linear, c);
    build(pane, c);
    EXPECT_EQ(pane.widget.effectiveSizeHint(Qt::PreferredSize),
              linear.widget.effectiveSizeHint(Qt::PreferredSize));
    EXPECT_EQ(pane.widget.effectiveSizeHint(Qt::MinimumSize),
              linear.widget.effectiveSizeHint(Qt::MinimumSize));
    ASSERT_EQ(pane.items.size(), linear.items.size());
    for (size_t i = 0; i < pane.items.size(); ++i)
        EXPECT_EQ(pane.items[i]->geometry(), linear.items[i]->geometry()) << "item " << i;
}

QGraphicsWidget* extra(Box& box)
{
    QGraphicsWidget* item = makeItem(kPreferred, &box.widget);
    box.items.push_back(item);
    return item;
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, PaneBoxLayoutTest,
    ::testing::Values(
        BoxCase{"RowRoomyMix", Qt::Horizontal, kMix, {400, 60}, {}},
        BoxCase{"ColumnRoomyMix", Qt::Vertical, kMix, {80, 400}, {}},
        BoxCase{"RowSqueezed", Qt::Horizontal, kMix, {90, 10}, {}},
        BoxCase{"ColumnBetweenMinimumAndPreferred",
                Qt::Vertical,
                {kPreferred, kSmallPreferred, kPreferred},
                {50, 60},
                {}},
        BoxCase{"RowWithoutSpacersGrowsByPreferredSize",
                Qt::Horizontal,
                {kPreferred, kSmallPreferred, kCapped},
                {300, 40},
                {}},
        BoxCase{"RowTwoSpacers", Qt::Horizontal, {kSpacer, kFixed, kSpacer, kFixed}, {250, 40}, {}},
        BoxCase{"OwnAlignments", Qt::Horizontal, {kRightBottom, kCentred, kSpacer}, {200, 50}, {}},
        BoxCase{"ColumnOwnAlignments", Qt::Vertical, {kRightBottom, kCentred, kFixed}, {90, 200}, {}},
        BoxCase{"HiddenItemTakesNoRoom", Qt::Horizontal, {kFixed, kHidden, kFixed, kSpacer}, {200, 40}, {}},
        BoxCase{"InsertedInTheMiddle",
                Qt::Horizontal,
                kMix,
                {400, 60},
                [](Box& box) { box.insert(2, extra(box)); }},
        BoxCase{"RemovedFromTheMiddleAndTheEnd",
                Qt::Vertical,
                kMix,
                {80, 400},
                [](Box& box) {
                    box.remove(box.items[1]);
                    box.remove(box.items[5]);
                    box.items[1]->hide();
                    box.items[5]->hide();
                }},
        BoxCase{"RemovedThenAppended",
                Qt::Horizontal,
                kMix,
                {400, 60},
                [](Box& box) {
                    box.remove(box.items[5]);
                    box.items[5]->hide();
                    box.append(extra(box), {});
                }},
        BoxCase{"InsertedBeforeItemsWithOwnAlignments",
                Qt::Horizontal,
                {kRightBottom, kCentred, kSpacer},
                {200, 50},
                [](Box& box) { box.insert(0, extra(box)); }},
        BoxCase{"EmptiedAndFilledAgainManyTimes",
                Qt::Vertical,
                {kRightBottom, kFixed},
                {90, 200},
                [](Box& box) {
                    for (int round = 0; round < 40; ++round) {
                        QGraphicsWidget* item = extra(box);
                        box.append(item, {});
                        box.remove(item);
                        item->hide();
                    }
                }},
        BoxCase{"TurnedFromRowToColumn",
                Qt::Horizontal,
                {kRightBottom, kFixed, kSpacer},
                {120, 300},
                [](Box& box) { box.turn(Qt::Vertical); }}),
    [](const ::testing::TestParamInfo<BoxCase>& info) { return std::string(info.param.name); });

} // namespace
