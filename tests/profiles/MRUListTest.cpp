#include <gtest/gtest.h>

#include "platform/doubles/PlatformDoubles.h"
#include "profiles/MRUList.h"

using namespace keldara;
using profiles::LongDirFix;
using profiles::MRUList;

namespace {

QStringList items(const MRUList& list) {
    QStringList all;
    for (int i = 0; i <= list.Count() + 1; ++i) all << list.Item(i);  // empty at both ends
    return all;
}

TEST(MRUList, KeysIgnoreLetterCaseKeepTheLatestSpellingAndDropTheOldest) {
    platform::MemorySettingsStore store;
    MRUList list(store);
    for (const char* file : {"/p/a.pro", "/p/b.pro", "/P/A.PRO"}) list.Add(file);
    EXPECT_EQ(items(list), (QStringList{"", "/P/A.PRO", "/p/b.pro", ""}));
    list.Remove("/p/B.pro");
    list.Remove("/p/none.pro");
    EXPECT_EQ(items(list), (QStringList{"", "/P/A.PRO", ""}));
    for (const char* file : {"1", "2", "3", "4", "5"}) list.Add(file);
    EXPECT_EQ(items(list), (QStringList{"", "5", "4", "3", "2", ""}));
    list.setNumber(2);  // later additions keep to it; the list is not cut at once
    list.Add("6");
    EXPECT_EQ(list.Count(), 4);
}

TEST(MRUList, SavesAndLoadsEveryEntryInPositionOrder) {
    platform::MemorySettingsStore store;
    MRUList list(store);
    for (const char* file : {"/c.pro", "/b.pro", "/a.pro"}) list.Add(file);
    list.Save("App");
    EXPECT_EQ(store.allSettings("App", "MRUFiles").first(),
              qMakePair(QString("1"), QString("/a.pro")));
    MRUList loaded(store);
    loaded.Add("/other.pro");
    loaded.Load("Elsewhere");  // no such section: unchanged
    EXPECT_EQ(items(loaded), (QStringList{"", "/other.pro", ""}));
    loaded.Load("App");
    EXPECT_EQ(items(loaded), (QStringList{"", "/a.pro", "/b.pro", "/c.pro", ""}));
    list.Clear();
    list.Save("App");
    EXPECT_TRUE(store.allSettings("App", "MRUFiles").isEmpty());

    // Every stored entry, more than Number() and a repeat among them, by the number of its key.
    for (int key : {1, 10, 2, 3, 4, 5, 6, 7, 8, 9})
        store.saveSetting("App", "MRUFiles", QString::number(key), QString("/%1.pro").arg(key));
    store.saveSetting("App", "MRUFiles", "11", "/1.PRO");
    list.Load("App");
    ASSERT_EQ(list.Count(), 10);
    EXPECT_EQ(list.Item(1) + list.Item(10), "/1.pro/10.pro");
}

TEST(MRUList, LongDirFixShortensLongPaths) {
    const QString p35 = "C:\\Profiles\\Customers\\Nightly\\a.pro";
    EXPECT_EQ(LongDirFix(p35, 35), p35);
    EXPECT_EQ(LongDirFix("C:\\Profiles\\Customers\\Nightly\\ab.pro", 35),
              "C:\\...\\Customers\\Nightly\\ab.pro");
    EXPECT_EQ(LongDirFix("C:\\Documents and Settings\\Owner\\Profiles\\2024\\March\\x.pro", 35),
              "C:\\...\\Profiles\\2024\\March\\x.pro");
    EXPECT_EQ(LongDirFix("/home/someone/profiles/nightly/customers.pro", 35),
              "/ho.../nightly/customers.pro");
    EXPECT_EQ(LongDirFix("C:" + QString(40, 'x'), 35), "C:x...");
}

}  // namespace
