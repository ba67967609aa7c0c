#pragma once

#include "Database.h"

#include <httplib.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// The HTTP server's bounded pool: a fixed number of threads, each with its own database connection, and a
// queue of accepted connections; together they hold at most `connections`. When the queue is full the
// accepting loop waits, and new clients wait in the listen backlog instead of piling up in memory.
class WorkerPool : public httplib::TaskQueue {
public:
    WorkerPool(int threads, int connections, const DatabaseSettings& database);
    ~WorkerPool() override;
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    void enqueue(std::function<void()> job) override;
    // Lets the queued and running jobs finish, then joins the threads.
    void shutdown() override;

    // The connection of the worker thread that runs the current request.
    static Connection& connection();

private:
    void work(const DatabaseSettings& database);

    std::vector<std::thread> m_threads;
    std::deque<std::function<void()>> m_jobs;
    std::size_t m_capacity;
    bool m_stopping = false;
    std::mutex m_mutex;
    std::condition_variable m_jobReady;
    std::condition_variable m_roomFreed;
};
