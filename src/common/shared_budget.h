#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <utility>

namespace torvale {

class BudgetShare;

/// An amount (of bytes, say) that threads take shares of and give back. A thread asking for
/// more than is free waits until others give theirs back.
class SharedBudget {
public:
    explicit SharedBudget(std::size_t total) : m_total(total), m_available(total) {}
    SharedBudget(const SharedBudget&) = delete;
    SharedBudget& operator=(const SharedBudget&) = delete;

    /// Takes a share of amount, waiting until it is free. An amount above the whole budget
    /// takes the whole budget: it waits for every other share and then goes alone.
    BudgetShare take(std::size_t amount);
    std::size_t total() const { return m_total; }

private:
    friend class BudgetShare;
    void giveBack(std::size_t amount);

    const std::size_t m_total;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::size_t m_available;
};

/// A share of a SharedBudget, given back when it is destroyed or released.
class BudgetShare {
public:
    BudgetShare() = default;
    BudgetShare(BudgetShare&& other) noexcept { swap(other); }
    BudgetShare& operator=(BudgetShare&& other) noexcept
    {
        BudgetShare(std::move(other)).swap(*this);
        return *this;
    }
    ~BudgetShare() { release(); }

    /// Gives the share back now.
    void release();

private:
    friend class SharedBudget;
    BudgetShare(SharedBudget* budget, std::size_t amount) : m_budget(budget), m_amount(amount) {}
    void swap(BudgetShare& other) noexcept
    {
        std::swap(m_budget, other.m_budget);
        std::swap(m_amount, other.m_amount);
    }

    SharedBudget* m_budget = nullptr;
    std::size_t m_amount = 0;
};

} // namespace torvale
