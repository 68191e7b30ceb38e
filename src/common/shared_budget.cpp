#include "common/shared_budget.h"

#include <algorithm>

namespace torvale {

BudgetShare SharedBudget::take(std::size_t amount)
{
    amount = std::min(amount, m_total);
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return m_available >= amount; });
    m_available -= amount;
    return BudgetShare(this, amount);
}

void SharedBudget::giveBack(std::size_t amount)
{
    {
        std::lock_guard lock(m_mutex);
        m_available += amount;
    }
    m_changed.notify_all();
}

void BudgetShare::release()
{
    if (m_budget && m_amount > 0)
        m_budget->giveBack(m_amount);
    m_budget = nullptr;
    m_amount = 0;
}

} // namespace torvale
