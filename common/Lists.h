// The list templates shared by the studio and webproc. Records live in a vector of
// owned pointers: insertion order, O(1) GetAt, and a record stays valid until Clear.
#pragma once

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include "common/FixedText.h"
#include "vessel/Vessel.h"

// List result codes.
enum ListResult : int {
    kListOk = 0,
    kListNoMemory = 1,
    kListNoSuchItem = 2,
    kListNoMutex = 3,
};

namespace lists_detail {

inline const char* NameOf(const char* name) {
    return name;
}

template <class Item>
bool HasName(const Item& item, const char* name) {
    return name && std::strcmp(NameOf(item.m_Name), name) == 0;
}

template <class Item>
class Records {
public:
    int Add(Item** out) {
        std::unique_ptr<Item> item(new (std::nothrow) Item());
        if (!item) {
            if (out) *out = nullptr;
            return kListNoMemory;
        }
        try {
            m_Items.push_back(std::move(item));
        } catch (const std::bad_alloc&) {
            if (out) *out = nullptr;
            return kListNoMemory;
        }
        if (out) *out = m_Items.back().get();
        return kListOk;
    }
    int GetAt(long index, Item** out) const {
        if (index < 0 || static_cast<std::size_t>(index) >= m_Items.size()) {
            if (out) *out = nullptr;
            return kListNoSuchItem;
        }
        if (out) *out = m_Items[static_cast<std::size_t>(index)].get();
        return kListOk;
    }
    long Count() const { return static_cast<long>(m_Items.size()); }
    void Clear() {
        // Last to first, as the records were chained.
        while (!m_Items.empty()) m_Items.pop_back();
    }
    int Remove(Item* item) {
        auto it = std::find_if(m_Items.begin(), m_Items.end(),
                               [item](const std::unique_ptr<Item>& p) { return p.get() == item; });
        if (!item || it == m_Items.end()) return kListNoSuchItem;
        m_Items.erase(it);
        return kListOk;
    }
    template <class Pred>
    long IndexOf(Pred pred) const {
        for (std::size_t i = 0; i < m_Items.size(); ++i)
            if (pred(*m_Items[i])) return static_cast<long>(i);
        return -1;
    }
    Item* At(long i) const { return m_Items[static_cast<std::size_t>(i)].get(); }

private:
    std::vector<std::unique_ptr<Item>> m_Items;
};

// The finds, on whichever list: NotFound is the list's own not-found code.
template <class Derived, class Item, int NotFound>
class Finds {
public:
    static constexpr int kNotFound = NotFound;

    int FindIndexByID(long id, long* index) {
        return Find([id](const Item& i) { return i.m_ID == id; }, index, nullptr);
    }
    int FindIndexByName(const char* name, long* index) {
        return Find([name](const Item& i) { return HasName(i, name); }, index, nullptr);
    }
    int FindByID(long id, Item** out) {
        return Find([id](const Item& i) { return i.m_ID == id; }, nullptr, out);
    }
    int FindByName(const char* name, Item** out) {
        return Find([name](const Item& i) { return HasName(i, name); }, nullptr, out);
    }

private:
    template <class Pred>
    int Find(Pred pred, long* index, Item** out) {
        return static_cast<Derived*>(this)->WithRecords([&](Records<Item>& r) {
            long i = r.IndexOf(pred);
            if (index) *index = i < 0 ? 0 : i;
            if (out) *out = i < 0 ? nullptr : r.At(i);
            return i < 0 ? NotFound : kListOk;
        });
    }
};

}  // namespace lists_detail

// Mutex-guarded list: every operation holds the list's own mutex for its whole run
// and no operation holds two, so there is no lock order.
template <class Item, int NotFound = -1>
class LockedList : public lists_detail::Finds<LockedList<Item, NotFound>, Item, NotFound> {
public:
    LockedList() = default;
    ~LockedList() { Clear(); }
    LockedList(const LockedList&) = delete;
    LockedList& operator=(const LockedList&) = delete;

    int Add(Item** out) {
        std::lock_guard<std::mutex> lock(m_Mutex);
        return m_Records.Add(out);
    }
    int GetAt(long index, Item** out) {
        std::lock_guard<std::mutex> lock(m_Mutex);
        return m_Records.GetAt(index, out);
    }
    int GetCount(long* count) {
        std::lock_guard<std::mutex> lock(m_Mutex);
        if (count) *count = m_Records.Count();
        return kListOk;
    }
    long Count() {
        long n = 0;
        GetCount(&n);
        return n;
    }
    int Clear() {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_Records.Clear();
        return kListOk;
    }

    // Runs fn under the list's mutex (for the finds and for callers that need
    // several reads to agree).
    template <class Fn>
    auto WithRecords(Fn fn) {
        std::lock_guard<std::mutex> lock(m_Mutex);
        return fn(m_Records);
    }

private:
    std::mutex m_Mutex;
    lists_detail::Records<Item> m_Records;
};

// Unguarded list for what the user-interface thread alone touches.
template <class Item, int NotFound = -1>
class PlainList : public lists_detail::Finds<PlainList<Item, NotFound>, Item, NotFound> {
public:
    PlainList() = default;
    PlainList(const PlainList&) = delete;
    PlainList& operator=(const PlainList&) = delete;

    int Add(Item** out) { return m_Records.Add(out); }
    int GetAt(long index, Item** out) const { return m_Records.GetAt(index, out); }
    int GetCount(long* count) const {
        if (count) *count = m_Records.Count();
        return kListOk;
    }
    long Count() const { return m_Records.Count(); }
    int Remove(Item* item) { return m_Records.Remove(item); }
    int Clear() {
        m_Records.Clear();
        return kListOk;
    }

    template <class Fn>
    auto WithRecords(Fn fn) {
        return fn(m_Records);
    }

private:
    lists_detail::Records<Item> m_Records;
};

// A request parameter: in the studio its position in the request's list, in webproc
// an argument of a server request call with its decoded value.
struct ParamListItem {
    ParamListItem() {
        m_Value.Alloc(50, 1000);
        m_ValueU.Alloc(50, 1000);
    }
    FixedText<50> m_Name;
    long m_Number = 0;
    Vessel m_Value;
    VesselU m_ValueU;
};

// A plain list that also carries the error of the text it was read from.
template <class Item = ParamListItem, int NotFound = 110>
class ParamList : public PlainList<Item, NotFound> {
public:
    int Clear() {
        PlainList<Item, NotFound>::Clear();
        m_ErrorCode = 0;
        m_ErrorMsg.Clear();
        return kListOk;
    }
    void SetError(int code, std::string_view msg) {
        m_ErrorCode = code;
        m_ErrorMsg = msg;
    }

    int m_ErrorCode = 0;
    FixedText<1023> m_ErrorMsg;
};
