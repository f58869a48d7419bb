// The browsers' sessions with the applications, by cookie key. Anonymous sessions are
// cheap to make, so they are bounded twice: per client address (a flood from one address
// ends its own sessions first) and in all; a logged-in session never makes room for an
// anonymous one. Not thread-safe: the server holds its session lock around each call.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace devserver {

class RunSessionTable {
public:
    struct Entry {
        long appId = 0;
        long userId = -1;  // -1: not logged in
        std::string userName;
        long long lastUse = 0;
        uint32_t peer = 0;
        long long seq = 0;  // the order of making, for choosing whom to end
    };

    void SetLimits(long maxSessions, long maxAnonymousPerAddress) {
        m_Max = maxSessions > 0 ? maxSessions : 1;
        m_MaxPerPeer = maxAnonymousPerAddress > 0 ? maxAnonymousPerAddress : 1;
    }
    // The session of key with the application, used now; null when there is none, when it
    // belongs to another application (left alone) or when it was idle longer than idleMs
    // (then it ends).
    const Entry* Use(const std::string& key, long appId, long long now, long long idleMs);
    // A new anonymous session for peer: false when every place is held by a logged-in
    // session. Ends peer's oldest anonymous session past its share, and the oldest
    // anonymous one when the table is full.
    bool AddAnonymous(const std::string& key, long appId, uint32_t peer, long long now);
    // A new logged-in session; makes room from the oldest anonymous, else the oldest login.
    void AddLogin(const std::string& key, long appId, long userId, const std::string& userName,
                  uint32_t peer, long long now);
    void Erase(const std::string& key);
    // Ends every login of the user.
    void EraseUser(long userId);
    // The sessions of an application (-1: all) used within idleMs(appId) before now.
    template <class IdleMs>
    long Live(long appId, long long now, IdleMs idleMs) const {
        long n = 0;
        for (const auto& [key, e] : m_Sessions)
            n += (appId < 0 || e.appId == appId) && now - e.lastUse <= idleMs(e.appId);
        return n;
    }
    long Size() const { return static_cast<long>(m_Sessions.size()); }

private:
    void Insert(const std::string& key, Entry e);
    void EraseOldest(std::map<long long, std::string>& order);

    std::map<std::string, Entry> m_Sessions;
    std::map<long long, std::string> m_Anonymous;  // by seq
    std::map<long long, std::string> m_Logins;     // by seq
    std::map<uint32_t, std::map<long long, std::string>> m_AnonymousByPeer;
    long long m_Seq = 0;
    long m_Max = 10000;
    long m_MaxPerPeer = 256;
};

}  // namespace devserver
