#include "common/Lists.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

namespace {

struct Rec {
    FixedText<20> m_Name;
    long m_ID = 0;
    Vessel m_Buffer;
};

using Locked = LockedList<Rec, 132>;
using Plain = PlainList<Rec, 140>;

template <class List>
Rec* AddRec(List& list, const char* name, long id) {
    Rec* r = nullptr;
    EXPECT_EQ(list.Add(&r), kListOk);
    r->m_Name = name;
    r->m_ID = id;
    return r;
}

}  // namespace

template <class List>
class ListContract : public ::testing::Test {};
using ListKinds = ::testing::Types<Locked, Plain>;
TYPED_TEST_SUITE(ListContract, ListKinds);

TYPED_TEST(ListContract, KeepsOrderAndAnswersOutOfRangeWithTwo) {
    TypeParam list;
    Rec* r = reinterpret_cast<Rec*>(1);
    EXPECT_EQ(list.GetAt(0, &r), kListNoSuchItem);
    EXPECT_EQ(r, nullptr);
    AddRec(list, "a", 1);
    AddRec(list, "b", 2);
    AddRec(list, "c", 3);
    long n = 0;
    EXPECT_EQ(list.GetCount(&n), kListOk);
    EXPECT_EQ(n, 3);
    for (long i = 0; i < 3; ++i) {
        ASSERT_EQ(list.GetAt(i, &r), kListOk);
        EXPECT_EQ(r->m_ID, i + 1);
    }
    EXPECT_EQ(list.GetAt(3, &r), kListNoSuchItem);
    EXPECT_EQ(r, nullptr);
    EXPECT_EQ(list.GetAt(-1, &r), kListNoSuchItem);
    EXPECT_EQ(list.Clear(), kListOk);
    EXPECT_EQ(list.Clear(), kListOk);
    EXPECT_EQ(list.GetCount(&n), kListOk);
    EXPECT_EQ(n, 0);
}

TYPED_TEST(ListContract, FindsUseTheListsNotFoundCode) {
    TypeParam list;
    const int notFound = TypeParam::kNotFound;
    AddRec(list, "app", 7);
    AddRec(list, "other", 9);
    AddRec(list, "app", 11);  // duplicates: the first wins
    long index = 42;
    EXPECT_EQ(list.FindIndexByName("app", &index), kListOk);
    EXPECT_EQ(index, 0);
    EXPECT_EQ(list.FindIndexByName("App", &index), notFound);  // case-sensitive
    EXPECT_EQ(index, 0);
    EXPECT_EQ(list.FindIndexByID(9, &index), kListOk);
    EXPECT_EQ(index, 1);
    EXPECT_EQ(list.FindIndexByID(10, &index), notFound);
    Rec* r = nullptr;
    EXPECT_EQ(list.FindByID(11, &r), kListOk);
    EXPECT_EQ(r->m_ID, 11);
    EXPECT_EQ(list.FindByName("nope", &r), notFound);
    EXPECT_EQ(r, nullptr);
}

TEST(PlainList, RemoveUnlinksOnlyItsOwnRecords) {
    Plain list, other;
    Rec* a = AddRec(list, "a", 1);
    AddRec(list, "b", 2);
    Rec* foreign = AddRec(other, "x", 3);
    EXPECT_EQ(list.Remove(foreign), kListNoSuchItem);
    EXPECT_EQ(list.Remove(nullptr), kListNoSuchItem);
    EXPECT_EQ(list.Remove(a), kListOk);
    Rec* r = nullptr;
    ASSERT_EQ(list.GetAt(0, &r), kListOk);
    EXPECT_EQ(r->m_ID, 2);
    EXPECT_EQ(list.Count(), 1);
}

TEST(ParamList, ClearResetsErrorAndRecords) {
    ParamList<> params;
    ParamListItem* p = nullptr;
    ASSERT_EQ(params.Add(&p), kListOk);
    EXPECT_EQ(p->m_Value.GetCapacity(), 50);
    EXPECT_EQ(p->m_ValueU.GetCapacity(), 50);
    p->m_Name = "id";
    params.SetError(110, "No brackets!");
    ParamListItem* found = nullptr;
    EXPECT_EQ(params.FindByName("id", &found), kListOk);
    EXPECT_EQ(params.FindByName("ID", &found), 110);
    params.Clear();
    EXPECT_EQ(params.m_ErrorCode, 0);
    EXPECT_TRUE(params.m_ErrorMsg.empty());
    EXPECT_EQ(params.Count(), 0);
}

TEST(LockedList, ManyThreadsAddReadCountAndClear) {
    Locked list;
    constexpr int kThreads = 4, kPerThread = 2000;
    std::atomic<bool> stop{false};
    std::atomic<long> reads{0};
    std::thread reader([&] {
        while (!stop) {
            long n = 0;
            list.GetCount(&n);
            Rec* r = nullptr;
            if (n > 0 && list.GetAt(n - 1, &r) == kListOk) ++reads;
            // A record is only safe to read while no Clear can run: check under the lock.
            list.WithRecords([&](auto& recs) {
                if (recs.Count() > 0) {
                    Rec* last = recs.At(recs.Count() - 1);
                    if (last->m_ID != 0 || !last->m_Name.empty()) {
                        EXPECT_EQ(std::string(last->m_Name.c_str()),
                                  "r" + std::to_string(last->m_ID % 1000));
                    }
                }
                return 0;
            });
        }
    });
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t)
        writers.emplace_back([&list, t] {
            for (int i = 0; i < kPerThread; ++i) {
                Rec* r = nullptr;
                ASSERT_EQ(list.Add(&r), kListOk);
                // Fill under the list's own lock so the reader never sees a half record.
                list.WithRecords([&](auto&) {
                    r->m_ID = t * kPerThread + i;
                    r->m_Name = "r" + std::to_string(r->m_ID % 1000);
                    return 0;
                });
            }
        });
    for (auto& w : writers) w.join();
    long n = 0;
    list.GetCount(&n);
    EXPECT_EQ(n, kThreads * kPerThread);
    std::vector<int> seen(kThreads * kPerThread, 0);
    for (long i = 0; i < n; ++i) {
        Rec* r = nullptr;
        ASSERT_EQ(list.GetAt(i, &r), kListOk);
        ++seen[static_cast<size_t>(r->m_ID)];
    }
    for (int s : seen) EXPECT_EQ(s, 1);
    std::thread clearer([&] {
        for (int i = 0; i < 50; ++i) {
            list.Clear();
            Rec* r = nullptr;
            list.Add(&r);
            list.WithRecords([&](auto&) {
                r->m_ID = 1;
                r->m_Name = "r1";
                return 0;
            });
        }
    });
    clearer.join();
    // On a loaded machine the reader may not have run yet: the list holds a record now,
    // so let it read one before it stops.
    while (reads.load() == 0) std::this_thread::yield();
    stop = true;
    reader.join();
}
