#include <gtest/gtest.h>

#include "model/text/GraphemeMap.h"

TEST(GraphemeMapTest, ClustersCountAsOneCharacter)
{
    // e + combining acute (2 units), family with joiners (8), flag (4), x (1).
    const GraphemeMap map(QString::fromUtf8("e\u0301\U0001F468\u200D\U0001F469\u200D\U0001F467\U0001F1EB\U0001F1F7x"));
    EXPECT_EQ(map.count(), 4);
    const qsizetype starts[] = {0, 2, 10, 14, 15};
    for (qsizetype i = 0; i <= 4; ++i) {
        EXPECT_EQ(map.toUtf16(i), starts[i]) << i;
        EXPECT_EQ(map.toGrapheme(starts[i]), i) << i;
    }
    EXPECT_EQ(map.toUtf16(9), 15);
    EXPECT_EQ(map.toGrapheme(5), 1);  // inside the family
    EXPECT_EQ(map.toGrapheme(5, true), 2);
    EXPECT_EQ(map.toGrapheme(12), 2);  // between the flag's two regional indicators
    EXPECT_EQ(map.toGrapheme(99), 4);
    EXPECT_EQ(map.at(3), u"x");
    EXPECT_EQ(GraphemeMap(QString()).count(), 0);

    // Flags pair up after an emoji too, and an odd indicator out stands alone.
    const GraphemeMap flags(QString::fromUtf8("\U0001F467\U0001F1EB\U0001F1F7\U0001F1EB\U0001F1F7\U0001F1EB"));
    EXPECT_EQ(flags.count(), 4);
    const qsizetype flagStarts[] = {0, 2, 6, 10, 12};
    for (qsizetype i = 0; i <= 4; ++i) EXPECT_EQ(flags.toUtf16(i), flagStarts[i]) << i;
}
