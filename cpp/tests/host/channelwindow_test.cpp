// The channel window's title names the channel, the user and the role, and follows the role
// however it changes; it does not depend on the sub-channel.

#include "host/windows/channelstate.h"
#include "host/windows/channelwindow.h"
#include "tests/host/hosttestsupport.h"

#include <QComboBox>

#include <gtest/gtest.h>

#include <functional>

namespace {

TEST(ChannelWindowTitle, NamesChannelNickAndRoleAndFollowsRoleChanges)
{
    hostTestApp();
    HostIdentity viewer;
    viewer.nick = QStringLiteral("观众甲");
    viewer.role = ChannelWindow::kViewerRole;
    viewer.channelId = 888;
    ChannelState state(viewer);
    ChannelWindow window(&state);
    auto* roleCombo = window.findChild<QComboBox*>(QStringLiteral("roleCombo"));
    ASSERT_NE(roleCombo, nullptr);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("tovo-host - 频道 888 - 观众甲 (20)"));

    const struct
    {
        const char* change;
        std::function<void()> apply;
        QString title;
    } steps[] = {
        {"role set by the host", [&] { state.setRole(200); },
         QStringLiteral("tovo-host - 频道 888 - 观众甲 (200)")},
        {"role chosen in the switcher", [&] { roleCombo->setCurrentIndex(roleCombo->findData(255u)); },
         QStringLiteral("tovo-host - 频道 888 - 观众甲 (255)")},
        {"role outside the switcher", [&] { state.setRole(42); },
         QStringLiteral("tovo-host - 频道 888 - 观众甲 (42)")},
        {"sub-channel switch", [&] { state.setSubChannelId(3); },
         QStringLiteral("tovo-host - 频道 888 - 观众甲 (42)")},
    };
    for (const auto& step : steps) {
        step.apply();
        EXPECT_EQ(window.windowTitle(), step.title) << step.change;
    }
}

} // namespace
