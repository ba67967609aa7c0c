#include "WorkerPool.h"

WorkerPool::WorkerPool(int threads, const DatabaseSettings& database) {
    for (int i = 0; i < threads; ++i) {
        m_threads.emplace_back(&WorkerPool::work, this, database);
    }
}

WorkerPool::~WorkerPool() {
    stop();
}

void WorkerPool::stop() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_jobs.clear();
    }
    m_jobReady.notify_all();
    for (std::thread& thread : m_threads) {
        if (thread.joinable()) {
            thread.join();
        }
    }
}

void WorkerPool::enqueue(Job job) {
    {
        std::lock_guard lock(m_mutex);
        m_jobs.push_back(std::move(job));
    }
    m_jobReady.notify_one();
}

void WorkerPool::work(const DatabaseSettings& database) {
    Connection connection(database);
    for (;;) {
        Job job;
        {
            std::unique_lock lock(m_mutex);
            m_jobReady.wait(lock, [this] { return !m_jobs.empty() || m_stopping; });
            if (m_stopping) {
                return;
            }
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
        }
        job(connection);
    }
}
