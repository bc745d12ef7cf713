#include <gtest/gtest.h>

#include <QAccessible>
#include <QComboBox>
#include <QListView>
#include <QTest>

#include "design/ComboPopupAccessible.h"
#include "support/ActiveAccessibility.h"

using tarnwick::test::ActiveAccessibility;

// Whichever came first, the popup list's interface is ours: its choices read as on screen only while
// the menu is open. Built with accessibility on, asked before attach() too, and built before
// accessibility came on.
TEST(ComboPopupAccessible, ItsChoicesReadAsShownOnlyWhileTheMenuIsOpenWhateverCameFirst)
{
    enum class Order { builtWithAccessibilityOn, askedBeforeAttach, accessibilityOnAfterwards };
    for (Order order : {Order::builtWithAccessibilityOn, Order::askedBeforeAttach, Order::accessibilityOnAfterwards}) {
        SCOPED_TRACE(int(order));
        std::optional<ActiveAccessibility> active;
        if (order != Order::accessibilityOnAfterwards) active.emplace();
        QComboBox combo;
        combo.addItems({"1 minute", "5 minutes", "15 minutes"});
        if (order == Order::askedBeforeAttach) {
            QAccessibleInterface* stock = QAccessible::queryAccessibleInterface(combo.view());
            ASSERT_TRUE(stock);
            ASSERT_FALSE(dynamic_cast<ComboPopupAccessible*>(stock)) << "the toolkit's own, to begin with";
        }
        ComboPopupAccessible::attach(&combo);
        if (!active) active.emplace();
        combo.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&combo));

        QAccessibleInterface* comboFace = QAccessible::queryAccessibleInterface(&combo);
        ASSERT_GE(comboFace->childCount(), 1);
        QAccessibleInterface* list = comboFace->child(0);
        EXPECT_TRUE(dynamic_cast<ComboPopupAccessible*>(list));
        EXPECT_EQ(list, QAccessible::queryAccessibleInterface(combo.view()));
        ASSERT_EQ(list->childCount(), 3);
        EXPECT_EQ(list->child(1)->text(QAccessible::Name), "5 minutes");
        EXPECT_EQ(list->parent(), comboFace);
        for (int i = 0; i < 3; ++i) EXPECT_TRUE(list->child(i)->state().invisible) << "closed: choice " << i;

        combo.showPopup();
        ASSERT_TRUE(QTest::qWaitFor([&] { return combo.view()->isVisible(); }));
        for (int i = 0; i < 3; ++i) EXPECT_FALSE(list->child(i)->state().invisible) << "open: choice " << i;
        combo.hidePopup();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !combo.view()->isVisible(); }));
        EXPECT_TRUE(list->child(0)->state().invisible);
    }
}
