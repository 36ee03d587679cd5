// The list control is entered into the UI framework's creation table when the application
// library is loaded and removed again when it is unloaded. This program does not link the
// library; it loads it the way the entry component does.

#include <panedynamiccreator.h>

#include <QApplication>
#include <QGraphicsWidget>

#include <gtest/gtest.h>

#include <dlfcn.h>

namespace {

const QString kClassName = QStringLiteral("QuorixPaneListCtrl");

TEST(ListCtrlRegistration, FollowsTheLibraryLifetime)
{
    int argc = 1;
    char name[] = "registration_test";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);

    EXPECT_FALSE(PaneDynamicCreator::isRegistered(kClassName));
    void* library = dlopen(QUORIXAPP_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    EXPECT_TRUE(PaneDynamicCreator::isRegistered(kClassName));

    QGraphicsWidget* list = PaneDynamicCreator::create(kClassName, nullptr);
    ASSERT_NE(list, nullptr);
    EXPECT_STREQ(list->metaObject()->className(), "QuorixPaneListCtrl");
    delete list;

    EXPECT_EQ(dlclose(library), 0);
    EXPECT_FALSE(PaneDynamicCreator::isRegistered(kClassName));
}

} // namespace
