#include "common/keyed_collection.h"

#include <gtest/gtest.h>

#include <memory>

namespace vqs {
namespace {

QStringList keysOf(const KeyedCollection<int>& c) {
    QStringList keys;
    for (const auto& e : c) keys << e.key;
    return keys;
}

TEST(KeyedCollection, KeysCompareWithoutRegardToCase) {
    KeyedCollection<int> c;
    EXPECT_TRUE(c.add("K710000@ETR", 1));
    EXPECT_FALSE(c.add("k710000@etr", 2)) << "a duplicate key is refused";
    ASSERT_NE(c.find("K710000@Etr"), nullptr);
    EXPECT_EQ(*c.find("K710000@Etr"), 1);
    EXPECT_TRUE(c.contains("K710000@ETR"));
    EXPECT_EQ(c.find("K710000@FRA"), nullptr);
    EXPECT_EQ(c.size(), 1);
}

TEST(KeyedCollection, InsertBeforeRemoveAndReplaceKeepTheOrderOfTheRest) {
    KeyedCollection<int> c;
    c.add("a", 1);
    c.add("b", 2);
    c.add("c", 3);

    // The placeholder dance of the old design: its effect is a replace in place.
    EXPECT_TRUE(c.addBefore("B", "tmp", 0));
    EXPECT_EQ(keysOf(c), (QStringList{"a", "tmp", "b", "c"}));
    EXPECT_TRUE(c.remove("b"));
    EXPECT_TRUE(c.addBefore("tmp", "b", 20));
    EXPECT_TRUE(c.remove("TMP"));
    EXPECT_EQ(keysOf(c), (QStringList{"a", "b", "c"}));
    EXPECT_EQ(*c.find("b"), 20);

    EXPECT_TRUE(c.replace("C", 30));
    EXPECT_EQ(keysOf(c), (QStringList{"a", "b", "c"}));
    EXPECT_EQ(c.indexOf("c"), 2);
    EXPECT_FALSE(c.replace("x", 0));
    EXPECT_FALSE(c.addBefore("x", "y", 0));
    EXPECT_FALSE(c.remove("x"));

    // Removed and added again: at the end.
    c.remove("a");
    c.add("a", 10);
    EXPECT_EQ(keysOf(c), (QStringList{"b", "c", "a"}));
}

TEST(KeyedCollection, CopiesAreIndependentAndMovesKeepLookups) {
    KeyedCollection<int> c;
    c.add("x", 1);
    KeyedCollection<int> copy = c;
    copy.replace("x", 2);
    EXPECT_EQ(*c.find("x"), 1);
    KeyedCollection<int> moved = std::move(copy);
    ASSERT_NE(moved.find("X"), nullptr);
    EXPECT_EQ(*moved.find("X"), 2);

    KeyedCollection<std::unique_ptr<int>> owning;
    owning.add("p", std::make_unique<int>(5));
    EXPECT_EQ(**owning.find("P"), 5);
}

}  // namespace
}  // namespace vqs
