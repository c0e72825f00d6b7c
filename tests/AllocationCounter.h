#pragma once

#include <cstddef>

// Counts heap allocations made on the current thread while a scope is alive.
namespace allocations
{
struct Counting
{
    Counting();
    ~Counting();
    std::size_t count() const;
};
} // namespace allocations
