// SPDX-License-Identifier: GPL-2.0-or-later
#include "QmlVlcRetirement.h"

#include <QCoreApplication>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace {

class Worker {
public:
    void add(std::function<void()> job)
    {
        std::unique_lock<std::mutex> lock(m_lock);
        if (!m_thread.joinable()) {
            m_stopping = false;
            m_thread = std::thread([this] { run(); });
        }
        m_jobs.push_back(std::move(job));
        ++m_queued;
        m_wake.notify_all();
    }

    void drain()
    {
        std::unique_lock<std::mutex> lock(m_lock);
        const quint64 target = m_queued;
        m_wake.wait(lock, [&] { return m_done >= target; });
    }

    // The process is ending: what is queued runs, then the thread goes.
    void finish()
    {
        {
            std::unique_lock<std::mutex> lock(m_lock);
            m_stopping = true;
            m_wake.notify_all();
        }
        if (m_thread.joinable())
            m_thread.join();
    }

private:
    void run()
    {
        std::unique_lock<std::mutex> lock(m_lock);
        for (;;) {
            m_wake.wait(lock, [&] { return m_stopping || !m_jobs.empty(); });
            if (m_jobs.empty())
                return;
            std::function<void()> job = std::move(m_jobs.front());
            m_jobs.pop_front();
            lock.unlock();
            job();
            job = nullptr;
            lock.lock();
            ++m_done;
            m_wake.notify_all();
        }
    }

    std::mutex m_lock;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_jobs;
    quint64 m_queued = 0;
    quint64 m_done = 0;
    bool m_stopping = false;
    std::thread m_thread;
};

Worker& worker()
{
    // Never destroyed: it is finished by the application's destruction.
    static Worker* w = new Worker;
    return *w;
}

bool hooked = false;

void finishWorker()
{
    worker().finish();
    hooked = false;
}

} // namespace

namespace QmlVlcRetirement {

void retire(std::function<void()> job)
{
    if (!QCoreApplication::instance()) {
        job();
        return;
    }
    if (!hooked) {
        hooked = true;
        qAddPostRoutine(finishWorker);
    }
    worker().add(std::move(job));
}

void drain() { worker().drain(); }

} // namespace QmlVlcRetirement
