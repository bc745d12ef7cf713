#include <QTest>

#include "settings/SettingsWindowFixture.h"

TEST_F(SettingsWindowTest, Smoke)
{
    controller->show();
    QWidget* window = controller->window();
    ASSERT_TRUE(window);
    for (AppSettingsTab tab : AppSettingsTab::allCases()) {
        tabs().select(tab);
        QTest::qWait(20);
        window->grab().save(QStringLiteral("/tmp/settings-shot-%1.png").arg(tab.rawValue()));
    }
}
