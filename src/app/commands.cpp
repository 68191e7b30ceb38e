#include "app/commands.h"

#include <cstdio>

namespace torvale {

void CommandTable::add(CommandId id, Handler handler)
{
    auto shared = std::make_shared<const IndexedHandler>(
        [handler = std::move(handler)](std::size_t) { handler(); });
    m_entries[static_cast<int>(id)] = Entry{std::move(shared), 0};
}

void CommandTable::addRange(CommandRange range, IndexedHandler handler)
{
    const auto shared = std::make_shared<const IndexedHandler>(std::move(handler));
    for (std::size_t i = 0; i < range.size(); ++i)
        m_entries[static_cast<int>(range.at(i))] = Entry{shared, i};
}

bool CommandTable::contains(CommandId id) const
{
    return m_entries.count(static_cast<int>(id)) != 0;
}

bool CommandTable::run(CommandId id) const
{
    const auto entry = m_entries.find(static_cast<int>(id));
    if (entry == m_entries.end()) {
        std::fprintf(stderr, "unknown command %d\n", static_cast<int>(id));
        return false;
    }
    // A handler may register commands again (a menu rebuilt with its own entry): the copy keeps
    // the running one alive.
    const std::shared_ptr<const IndexedHandler> handler = entry->second.handler;
    const std::size_t index = entry->second.index;
    (*handler)(index);
    return true;
}

} // namespace torvale
