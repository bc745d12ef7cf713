#pragma once

// While one exists, the heap grows in large steps. At launch several threads read the store and fill the
// heap at once; growing it in the usual small steps takes the process's address-space lock for each
// one, and every page fault of every other thread waits for it. At the end the usual step comes back;
// what the large steps left unused is never touched, so it costs no memory.
class LaunchHeapGrowth {
public:
    LaunchHeapGrowth();
    ~LaunchHeapGrowth();
    LaunchHeapGrowth(const LaunchHeapGrowth&) = delete;
    LaunchHeapGrowth& operator=(const LaunchHeapGrowth&) = delete;

private:
    bool m_set = false;
};
