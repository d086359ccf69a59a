// Fault injection through the allocation seam of velmora/base_alloc.h.
//
//   FailingAllocations faults(3);   // the 3rd allocation from now fails
//   ...                             // run the code under test
//   faults.fired();                 // did it reach the 3rd allocation?
//
// The hooks are restored when the object goes out of scope. Every allocation
// that does not fail is a real malloc/calloc, so the sanitizers track it.
#pragma once

#include <functional>

class FailingAllocations {
public:
    // failAt: the 1-based number of the allocation that fails; 0: none does
    // (the allocations are only counted).
    explicit FailingAllocations(long failAt);
    ~FailingAllocations();
    FailingAllocations(const FailingAllocations&) = delete;
    FailingAllocations& operator=(const FailingAllocations&) = delete;

    bool fired() const;
    long calls() const;
};

// Runs body(n) with the n-th allocation failing, for n = 1, 2, ... until a
// run makes fewer than n allocations (so that every allocation of the
// operation has failed once). body receives whether the failure fired.
// Returns how many allocations the complete run made.
long ForEveryAllocationFailure(const std::function<void(long n, bool& fired)>& body);
