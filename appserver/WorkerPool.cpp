#include "WorkerPool.h"

#include <algorithm>

namespace {
thread_local Connection* workerConnection = nullptr;
}  // namespace

WorkerPool::WorkerPool(int threads, int connections, const DatabaseSettings& database)
    : m_capacity(static_cast<std::size_t>(std::max(connections - threads, 1))) {
    for (int i = 0; i < threads; ++i) {
        m_threads.emplace_back(&WorkerPool::work, this, database);
    }
}

WorkerPool::~WorkerPool() {
    shutdown();
}

void WorkerPool::enqueue(std::function<void()> job) {
    std::unique_lock lock(m_mutex);
    m_roomFreed.wait(lock, [this] { return m_jobs.size() < m_capacity || m_stopping; });
    m_jobs.push_back(std::move(job));
    lock.unlock();
    m_jobReady.notify_one();
}

void WorkerPool::shutdown() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_jobReady.notify_all();
    m_roomFreed.notify_all();
    for (std::thread& thread : m_threads) {
        if (thread.joinable()) {
            thread.join();
        }
    }
}

Connection& WorkerPool::connection() {
    return *workerConnection;
}

void WorkerPool::work(const DatabaseSettings& database) {
    Connection connection(database);
    workerConnection = &connection;
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock lock(m_mutex);
            m_jobReady.wait(lock, [this] { return !m_jobs.empty() || m_stopping; });
            if (m_jobs.empty()) {
                break;
            }
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
        }
        m_roomFreed.notify_one();
        job();
    }
    workerConnection = nullptr;
}
