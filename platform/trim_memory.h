#pragma once
// Gives memory that the program has freed back to the system. After a burst (a refresh of a
// large group, a client with many objects going) the allocator keeps the freed memory in
// its arenas, and the resident size stays at the peak for as long as the process runs.
#include <cstddef>

namespace velk {

// Returns the freed memory when at least the threshold is free in the allocator's arenas;
// looks at most twice a second, so that callers may call it after every large release.
// Takes a few milliseconds when it trims: not for the bus loop thread.
void ReturnFreedMemory(std::size_t threshold = 32 * 1024 * 1024);

// Lets the threads of the process share two allocator arenas instead of one per thread and
// core. A server with a thread per client, request pool and device keeps what a burst freed
// in each thread's own arena, and the resident size grows with every thread that once held a
// large refresh; with two arenas the memory freed by one thread serves the next. Called once,
// before the first thread starts.
void BoundAllocatorArenas();

}  // namespace velk
