#include "devserver/RunSessions.h"

namespace devserver {

const RunSessionTable::Entry* RunSessionTable::Use(const std::string& key, long appId,
                                                   long long now, long long idleMs) {
    auto it = key.empty() ? m_Sessions.end() : m_Sessions.find(key);
    if (it == m_Sessions.end() || it->second.appId != appId) return nullptr;
    if (now - it->second.lastUse > idleMs) {
        Erase(key);
        return nullptr;
    }
    it->second.lastUse = now;
    return &it->second;
}

bool RunSessionTable::AddAnonymous(const std::string& key, long appId, uint32_t peer,
                                   long long now) {
    auto own = m_AnonymousByPeer.find(peer);
    if (own != m_AnonymousByPeer.end() && static_cast<long>(own->second.size()) >= m_MaxPerPeer)
        EraseOldest(own->second);
    if (Size() >= m_Max) {
        if (m_Anonymous.empty()) return false;
        EraseOldest(m_Anonymous);
    }
    Entry e;
    e.appId = appId;
    e.lastUse = now;
    e.peer = peer;
    Insert(key, std::move(e));
    return true;
}

void RunSessionTable::AddLogin(const std::string& key, long appId, long userId,
                               const std::string& userName, uint32_t peer, long long now) {
    if (Size() >= m_Max) EraseOldest(m_Anonymous.empty() ? m_Logins : m_Anonymous);
    Entry e;
    e.appId = appId;
    e.userId = userId;
    e.userName = userName;
    e.lastUse = now;
    e.peer = peer;
    Insert(key, std::move(e));
}

void RunSessionTable::Insert(const std::string& key, Entry e) {
    Erase(key);
    e.seq = ++m_Seq;
    if (e.userId < 0) {
        m_Anonymous[e.seq] = key;
        m_AnonymousByPeer[e.peer][e.seq] = key;
    } else {
        m_Logins[e.seq] = key;
    }
    m_Sessions[key] = std::move(e);
}

void RunSessionTable::EraseOldest(std::map<long long, std::string>& order) {
    if (!order.empty()) Erase(std::string(order.begin()->second));
}

void RunSessionTable::Erase(const std::string& key) {
    auto it = m_Sessions.find(key);
    if (it == m_Sessions.end()) return;
    const Entry& e = it->second;
    if (e.userId < 0) {
        m_Anonymous.erase(e.seq);
        auto own = m_AnonymousByPeer.find(e.peer);
        if (own != m_AnonymousByPeer.end()) {
            own->second.erase(e.seq);
            if (own->second.empty()) m_AnonymousByPeer.erase(own);
        }
    } else {
        m_Logins.erase(e.seq);
    }
    m_Sessions.erase(it);
}

void RunSessionTable::EraseUser(long userId) {
    for (auto it = m_Logins.begin(); it != m_Logins.end();) {
        auto s = m_Sessions.find(it->second);
        ++it;  // Erase below removes the entry it pointed to
        if (s != m_Sessions.end() && s->second.userId == userId) Erase(std::string(s->first));
    }
}

}  // namespace devserver
