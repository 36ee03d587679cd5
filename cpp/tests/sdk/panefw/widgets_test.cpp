#include "tests/sdk/panefw/panetestsupport.h"

#include "logcapture.h"
#include "panecheckbox.h"
#include "panecombobox.h"
#include "panedynamiccreator.h"
#include "panefind.h"
#include "paneframeitemex.h"
#include "paneframewindow.h"
#include "panelabelwidget.h"
#include "panelayoutloader.h"
#include "panelineedit.h"
#include "panemessagebox.h"
#include "panepushbutton.h"
#include "panescrollwidget.h"
#include "panesyscommandrequest.h"
#include "paneuicreatorservice.h"

#include "comptr.h"

#include <QAction>
#include <QGraphicsView>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryFile>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

const char* const kWidgetsLayout = R"(<xmlui><PaneFrameWindow objectName="w" fixSize="300,240">
  <PaneWidget layout="HBox" fixHeight="30">
    <PaneLabelWidget objectName="link" text="link" fixWidth="60" acceptClick="true" underlineOnHover="true"/>
    <PaneLabelWidget objectName="plain" text="plain" fixWidth="60"/>
    <PanePushButton objectName="button" fixSize="60,24" text="go"/>
    <PaneCheckBox objectName="check" fixSize="18,18"/>
  </PaneWidget>
  <PaneWidget layout="HBox" fixHeight="30">
    <PaneComboBox objectName="combo" fixSize="100,28"><ComboData><Item text="a"/><Item text="b"/><Item text="c"/></ComboData></PaneComboBox>
    <PaneComboBox objectName="editCombo" fixSize="80,28" editable="true"><ComboData><Item text="100"/><Item text="200"/></ComboData></PaneComboBox>
    <PaneLineEdit objectName="edit" fixSize="100,28" validator="\d{1,3}"/>
  </PaneWidget>
  <PaneFrameItemEx objectName="hoverBox" fixHeight="30" acceptHover="true"/>
  <PaneScrollWidget objectName="scroll" fixHeight="100">
    <PaneWidget fixHeight="100"/><PaneWidget fixHeight="100"/><PaneWidget fixHeight="100"/><PaneWidget fixHeight="100"/>
  </PaneScrollWidget>
  <PaneSpacerItem/>
</PaneFrameWindow></xmlui>)";

class WidgetsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        window.reset(PaneLayoutLoader::loadData(kWidgetsLayout));
        ASSERT_NE(window, nullptr);
        panetest::showAndWait(window.get());
    }

    template <class T> T* find(const char* name)
    {
        T* widget = panefw::findChild<T>(window.get(), QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    std::unique_ptr<PaneFrameWindow> window;
};

TEST_F(WidgetsTest, LabelsEmitClickedOnlyWhenClickAcceptingAndEnabled)
{
    auto* link = find<PaneLabelWidget>("link");
    auto* plain = find<PaneLabelWidget>("plain");
    QSignalSpy linkClicks(link, &PaneLabelWidget::clicked);
    QSignalSpy plainClicks(plain, &PaneLabelWidget::clicked);

    panetest::hover(window.get(), link);
    EXPECT_TRUE(link->isHovered());
    panetest::click(window.get(), link);
    panetest::click(window.get(), plain);
    EXPECT_EQ(linkClicks.count(), 1);
    EXPECT_EQ(plainClicks.count(), 0);

    link->setEnabled(false);
    panetest::click(window.get(), link);
    EXPECT_EQ(linkClicks.count(), 1);
    link->setEnabled(true);
    link->setAcceptClick(false);
    panetest::click(window.get(), link);
    EXPECT_EQ(linkClicks.count(), 1);
}

TEST_F(WidgetsTest, ButtonsReportHoverAndClicksAndIgnoreClicksWhileDisabled)
{
    auto* button = find<PanePushButton>("button");
    QSignalSpy clicks(button, &PanePushButton::clicked);
    QSignalSpy hovers(button, &PanePushButton::hoverEnter);
    panetest::hover(window.get(), button);
    ASSERT_EQ(hovers.count(), 1);
    EXPECT_EQ(hovers.at(0).at(0).toPointF(), button->rect().center());
    panetest::click(window.get(), button);
    EXPECT_EQ(clicks.count(), 1);
    button->click();
    EXPECT_EQ(clicks.count(), 2);

    button->setEnabled(false);
    button->click();
    panetest::click(window.get(), button);
    EXPECT_EQ(clicks.count(), 2);
}

TEST_F(WidgetsTest, PressAndReleaseOutsideTheButtonIsNoClick)
{
    auto* button = find<PanePushButton>("button");
    auto* plain = find<PaneLabelWidget>("plain");
    QSignalSpy clicks(button, &PanePushButton::clicked);
    panetest::press(window.get(), button);
    EXPECT_TRUE(button->isDown());
    panetest::release(window.get(), plain);
    EXPECT_FALSE(button->isDown());
    EXPECT_EQ(clicks.count(), 0);
}

TEST_F(WidgetsTest, CheckBoxReportsUserClicksOnly)
{
    auto* check = find<PaneCheckBox>("check");
    QSignalSpy selected(check, &PaneCheckBox::stateSelected);
    check->setCheckState(Qt::Checked);
    EXPECT_EQ(selected.count(), 0);
    panetest::click(window.get(), check);
    ASSERT_EQ(selected.count(), 1);
    EXPECT_FALSE(selected.at(0).at(0).toBool());
    EXPECT_EQ(check->checkState(), Qt::Unchecked);
    panetest::click(window.get(), check);
    ASSERT_EQ(selected.count(), 2);
    EXPECT_TRUE(selected.at(1).at(0).toBool());
    EXPECT_EQ(check->checkState(), Qt::Checked);
}

TEST_F(WidgetsTest, ComboPopupPickEmitsButProgrammaticChangesDoNot)
{
    auto* combo = find<PaneComboBox>("combo");
    QSignalSpy changes(combo, &PaneComboBox::currentIndexChanged);
    combo->setCurrentIndex(1);
    combo->setCurrentIndex(9);
    EXPECT_EQ(combo->currentIndex(), 1);
    EXPECT_EQ(changes.count(), 0);

    panetest::click(window.get(), combo);
    QMenu* popup = combo->popup();
    ASSERT_NE(popup, nullptr);
    EXPECT_TRUE(popup->isVisible());
    ASSERT_EQ(popup->actions().size(), 3);
    EXPECT_TRUE(popup->actions().at(1)->isChecked());
    popup->actions().at(2)->trigger();
    ASSERT_EQ(changes.count(), 1);
    EXPECT_EQ(changes.at(0).at(0).toInt(), 2);
    EXPECT_EQ(combo->currentText(), QStringLiteral("c"));

    // Picking the item that is already current changes nothing.
    combo->showPopup()->actions().at(2)->trigger();
    EXPECT_EQ(changes.count(), 1);

    combo->setData({QVariantMap{{QStringLiteral("text"), QStringLiteral("x")}}});
    EXPECT_EQ(combo->count(), 1);
    EXPECT_EQ(combo->currentIndex(), 0);
    combo->setData({});
    EXPECT_EQ(combo->currentIndex(), -1);
    EXPECT_EQ(combo->showPopup(), nullptr);
}

TEST_F(WidgetsTest, EditableComboShowsTheCurrentItemInItsLineEdit)
{
    auto* combo = find<PaneComboBox>("editCombo");
    ASSERT_NE(combo->lineEdit(), nullptr);
    EXPECT_EQ(combo->lineEdit()->text(), QStringLiteral("100"));
    combo->setCurrentIndex(1);
    EXPECT_EQ(combo->currentText(), QStringLiteral("200"));
    combo->lineEdit()->setText(QStringLiteral("250"));
    EXPECT_EQ(combo->currentText(), QStringLiteral("250"));
    EXPECT_EQ(combo->currentIndex(), 1);
}

TEST_F(WidgetsTest, LineEditTakesTypedKeysAndRefusesWhatTheValidatorRejects)
{
    auto* edit = find<PaneLineEdit>("edit");
    QSignalSpy changes(edit, &PaneLineEdit::textChanged);
    window->activateWindow();
    edit->setEditFocus();
    QApplication::processEvents();
    ASSERT_TRUE(edit->hasEditFocus());
    QTest::keyClicks(window->windowHandle() ? static_cast<QWidget*>(QApplication::focusWidget()) : nullptr,
                     QStringLiteral("1a2b34"));
    EXPECT_EQ(edit->text(), QStringLiteral("123"));
    EXPECT_EQ(changes.count(), 3);
    EXPECT_EQ(changes.last().at(0).toString(), QStringLiteral("123"));
    EXPECT_TRUE(edit->hasAcceptableInput());

    edit->setValidator(QStringLiteral(".{1,5}"));
    edit->setMaxLength(4);
    edit->clear();
    EXPECT_FALSE(edit->hasAcceptableInput());
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("abcdef"));
    EXPECT_EQ(edit->text(), QStringLiteral("abcd"));
}

TEST_F(WidgetsTest, FrameItemExReportsEnterAndLeave)
{
    auto* box = find<PaneFrameItemEx>("hoverBox");
    QSignalSpy entered(box, &PaneFrameItemEx::entered);
    QSignalSpy leaved(box, &PaneFrameItemEx::leaved);
    panetest::hover(window.get(), box);
    panetest::leave(window.get());
    EXPECT_EQ(entered.count(), 1);
    EXPECT_EQ(leaved.count(), 1);
}

TEST_F(WidgetsTest, ScrollAreaScrollsByWheelWithinItsContent)
{
    auto* scroll = find<PaneScrollWidget>("scroll");
    EXPECT_EQ(scroll->maximumScrollPos(), 300);
    EXPECT_TRUE(scroll->isScrollBarShown());
    QSignalSpy moves(scroll, &PaneScrollArea::scrollPosChanged);
    const QPoint at = panetest::viewPoint(window.get(), scroll);
    QWheelEvent down(at, window->view()->viewport()->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                     Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(window->view()->viewport(), &down);
    ASSERT_EQ(moves.count(), 1);
    EXPECT_EQ(moves.at(0).at(0).toInt(), 60);
    EXPECT_EQ(scroll->contentWidget()->pos().y(), -60);

    scroll->setScrollPos(5000);
    EXPECT_EQ(scroll->scrollPos(), 300);
    scroll->setScrollPos(-5);
    EXPECT_EQ(scroll->scrollPos(), 0);

    scroll->setSingleStep(0);
    QApplication::sendEvent(window->view()->viewport(), &down);
    EXPECT_EQ(scroll->scrollPos(), 0);
    scroll->setScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    EXPECT_FALSE(scroll->isScrollBarShown());
}

TEST_F(WidgetsTest, ScrollRangeFollowsAddedAndRemovedContent)
{
    auto* scroll = find<PaneScrollWidget>("scroll");
    auto* extra = new PaneWidget;
    extra->setFixHeight(50);
    scroll->addItem(extra);
    QApplication::processEvents();
    EXPECT_EQ(scroll->maximumScrollPos(), 350);
    scroll->setScrollPos(350);
    scroll->removeItem(extra);
    delete extra;
    QApplication::processEvents();
    EXPECT_EQ(scroll->maximumScrollPos(), 300);
    EXPECT_EQ(scroll->scrollPos(), 300);
}

TEST_F(WidgetsTest, RejectedCloseKeepsTheWindowAndRestoreIsReported)
{
    std::vector<int> types;
    bool reject = true;
    QObject::connect(window.get(), &PaneFrameWindow::sysCommand, [&](PaneSysCommandRequest* request) {
        types.push_back(request->type());
        if (reject && request->type() == PaneSysCommandRequest::Close)
            request->reject();
    });
    window->close();
    EXPECT_TRUE(window->isVisible());
    window->showMinimized();
    QApplication::processEvents();
    window->showNormal();
    QApplication::processEvents();
    reject = false;
    window->close();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(types, (std::vector<int>{PaneSysCommandRequest::Close, PaneSysCommandRequest::Restore,
                                       PaneSysCommandRequest::Close}));
}

TEST_F(WidgetsTest, DraggingTheBackgroundMovesTheWindowButDraggingAButtonDoesNot)
{
    window->move(100, 100);
    QApplication::processEvents();
    const QPoint start = window->pos();
    QWindow* handle = window->windowHandle();
    QTest::mousePress(handle, Qt::LeftButton, Qt::NoModifier, QPoint(250, 230));
    QTest::mouseMove(handle, QPoint(270, 235));
    // The window moved with the pointer, so the pointer is back over the point it pressed.
    QTest::mouseRelease(handle, Qt::LeftButton, Qt::NoModifier, QPoint(250, 230));
    QApplication::processEvents();
    EXPECT_EQ(window->pos(), start + QPoint(20, 5));

    auto* button = find<PanePushButton>("button");
    const QPoint moved = window->pos();
    const QPoint at = panetest::viewPoint(window.get(), button);
    QTest::mousePress(handle, Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseMove(handle, at + QPoint(30, 30));
    QTest::mouseRelease(handle, Qt::LeftButton, Qt::NoModifier, at + QPoint(30, 30));
    EXPECT_EQ(window->pos(), moved);
}

class Receiver : public QObject
{
    Q_OBJECT
public slots:
    void onAnswer(int button) { answers.append(button); }

public:
    QList<int> answers;
};

TEST(MessageBoxTest, WarningIsNonModalReturnsAtOnceAndDeletesItselfWhenAnswered)
{
    Receiver receiver;
    QPointer<PaneMessageBox> box =
        PaneMessageBox::warningAsync(nullptr, QStringLiteral("投票提示"), QStringLiteral("请选择要打的分数"),
                                     QMessageBox::Ok, QMessageBox::Ok, &receiver, SLOT(onAnswer(int)));
    ASSERT_FALSE(box.isNull());
    EXPECT_EQ(PaneMessageBox::lastBox(), box.data());
    EXPECT_TRUE(box->isVisible());
    EXPECT_FALSE(box->isModal());
    EXPECT_EQ(box->windowTitle(), QStringLiteral("投票提示"));
    EXPECT_EQ(box->text(), QStringLiteral("请选择要打的分数"));
    box->button(QMessageBox::Ok)->click();
    QApplication::processEvents();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(box.isNull());
    EXPECT_EQ(PaneMessageBox::lastBox(), nullptr);
    EXPECT_EQ(receiver.answers, QList<int>{QMessageBox::Ok});
}

TEST(MessageBoxTest, ButtonsSayTheirChineseTextsAndStillAnswerTheirStandardButton)
{
    const struct
    {
        QMessageBox::StandardButton button;
        QString text;
    } rows[] = {{QMessageBox::Ok, QStringLiteral("确定")},
                {QMessageBox::Cancel, QStringLiteral("取消")},
                {QMessageBox::Yes, QStringLiteral("是")},
                {QMessageBox::No, QStringLiteral("否")}};
    for (const auto& row : rows) {
        Receiver receiver;
        QPointer<PaneMessageBox> box = PaneMessageBox::informationAsync(
            nullptr, QStringLiteral("投票提示"), QStringLiteral("x"), row.button, QMessageBox::NoButton,
            &receiver, SLOT(onAnswer(int)));
        ASSERT_NE(box->button(row.button), nullptr) << row.text.toStdString();
        EXPECT_EQ(box->button(row.button)->text(), row.text);
        box->button(row.button)->click();
        EXPECT_EQ(receiver.answers, QList<int>{row.button}) << row.text.toStdString();
    }
    QPointer<PaneMessageBox> defaulted =
        PaneMessageBox::warningAsync(nullptr, QStringLiteral("t"), QStringLiteral("x"));
    EXPECT_EQ(defaulted->standardButtons(), QMessageBox::Ok);
    EXPECT_EQ(defaulted->button(QMessageBox::Ok)->text(), QStringLiteral("确定"));
    defaulted->close();
}

TEST(MessageBoxTest, UnreachableReceiverIsLoggedAndTheBoxStillShows)
{
    fenbase::LogCapture capture;
    Receiver receiver;
    PaneMessageBox* box =
        PaneMessageBox::warningAsync(nullptr, QStringLiteral("t"), QStringLiteral("x"), QMessageBox::Ok,
                                     QMessageBox::NoButton, &receiver, SLOT(noSuchSlot()));
    EXPECT_TRUE(box->isVisible());
    EXPECT_TRUE(capture.contains("message box answer cannot reach"));
    box->close();
}

TEST(DynamicCreatorTest, FactoryFailuresGiveNoWidgetAndALogLine)
{
    fenbase::LogCapture capture;
    ASSERT_TRUE(
        PaneDynamicCreator::registerClass(QStringLiteral("Throwing"), [](QGraphicsItem*) -> QGraphicsWidget* {
            throw std::runtime_error("boom");
        }));
    ASSERT_TRUE(PaneDynamicCreator::registerClass(
        QStringLiteral("Null"), [](QGraphicsItem*) -> QGraphicsWidget* { return nullptr; }));
    EXPECT_EQ(PaneDynamicCreator::create(QStringLiteral("Throwing"), nullptr), nullptr);
    EXPECT_EQ(PaneDynamicCreator::create(QStringLiteral("Null"), nullptr), nullptr);
    EXPECT_EQ(PaneDynamicCreator::create(QStringLiteral("Unregistered"), nullptr), nullptr);
    EXPECT_TRUE(capture.contains("factory of class Throwing threw"));
    EXPECT_TRUE(capture.contains("factory of class Null returned no widget"));
    EXPECT_TRUE(capture.contains("no factory registered for class Unregistered"));
    PaneDynamicCreator::unregisterClass(QStringLiteral("Throwing"));
    PaneDynamicCreator::unregisterClass(QStringLiteral("Null"));
}

TEST(UICreatorServiceTest, CountsReferencesAndBuildsWindowsFromLayoutFiles)
{
    PaneUICreatorService* service = PaneUICreatorService::create();
    comptr<ITovoUICreator> creator = queryInterface<ITovoUICreator>(static_cast<IUnk*>(service));
    ASSERT_TRUE(creator);
    void* other = nullptr;
    EXPECT_FALSE(service->queryInterface(InterfaceId{"ITovoBuddyList_UUID"}, &other));
    EXPECT_EQ(other, nullptr);
    EXPECT_EQ(service->release(), 1u); // the creator reference remains

    QTemporaryFile file;
    ASSERT_TRUE(file.open());
    file.write(kWidgetsLayout);
    file.close();
    std::unique_ptr<PaneFrameWindow> window(creator->createWindow(file.fileName(), QString(), nullptr));
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->objectName(), QStringLiteral("w"));
    EXPECT_EQ(creator->createWindow(QStringLiteral(":/no/such/layout.xml"), QString(), nullptr), nullptr);
}

} // namespace

#include "widgets_test.moc"
