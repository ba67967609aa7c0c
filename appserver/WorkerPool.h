#pragma once

#include "Database.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// The threads that do the requests' database work: a fixed number, each owning one database connection,
// taking jobs in the order they come. The HTTP front hands over one job per request it has read whole, so
// the queue holds at most one job per open connection, and the connections are bounded.
class WorkerPool {
public:
    using Job = std::function<void(Connection&)>;

    WorkerPool(int threads, const DatabaseSettings& database);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    void enqueue(Job job);
    // Lets the jobs under way end, drops those not begun, and joins the threads. Once the HTTP front has
    // stopped, nothing waits for an answer but what was cut at the end of its grace.
    void stop();

private:
    void work(const DatabaseSettings& database);

    std::vector<std::thread> m_threads;
    std::deque<Job> m_jobs;
    bool m_stopping = false;
    std::mutex m_mutex;
    std::condition_variable m_jobReady;
};
