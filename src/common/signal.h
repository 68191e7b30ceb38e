#pragma once

#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace torvale {

/// A listener's registration with a Signal: the listener is removed when the subscription
/// ends (goes out of scope or is reset), whichever of the two goes first.
class [[nodiscard]] Subscription {
public:
    Subscription() = default;
    explicit Subscription(std::function<void()> cancel) : m_cancel(std::move(cancel)) {}
    Subscription(Subscription&& other) noexcept : m_cancel(std::exchange(other.m_cancel, {})) {}
    Subscription& operator=(Subscription&& other) noexcept
    {
        if (this != &other) {
            reset();
            m_cancel = std::exchange(other.m_cancel, {});
        }
        return *this;
    }
    Subscription(const Subscription&) = delete;
    Subscription& operator=(const Subscription&) = delete;
    ~Subscription() { reset(); }

    void reset()
    {
        if (m_cancel)
            std::exchange(m_cancel, {})();
    }

private:
    std::function<void()> m_cancel;
};

/// A list of listeners told about one kind of event, in the order they subscribed. A listener
/// may subscribe or unsubscribe others (or itself) while it is being told: one removed during
/// an emit is not called after its removal, one added is first called at the next emit.
template <typename... Args>
class Signal {
public:
    using Listener = std::function<void(const Args&...)>;

    Signal() = default;
    Signal(const Signal&) = delete;
    Signal& operator=(const Signal&) = delete;

    Subscription subscribe(Listener listener)
    {
        auto entry = std::make_shared<Entry>(Entry{std::move(listener), true});
        m_entries->push_back(entry);
        std::weak_ptr<Entries> entries = m_entries;
        return Subscription([entries, entry = std::weak_ptr<Entry>(entry)] {
            const auto held = entry.lock();
            if (!held)
                return;
            held->live = false;
            if (const auto list = entries.lock())
                std::erase(*list, held);
        });
    }

    void notify(const Args&... args) const
    {
        // On a copy: the listeners may change the list.
        const Entries entries = *m_entries;
        for (const auto& entry : entries) {
            if (entry->live)
                entry->listener(args...);
        }
    }

    bool empty() const { return m_entries->empty(); }

private:
    struct Entry {
        Listener listener;
        bool live = true;
    };
    using Entries = std::vector<std::shared_ptr<Entry>>;
    std::shared_ptr<Entries> m_entries = std::make_shared<Entries>();
};

} // namespace torvale
