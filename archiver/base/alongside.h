#pragma once

#include <functional>
#include <future>
#include <system_error>
#include <thread>
#include <utility>

namespace vadok::archiver {

// How a call starts its threads: std::thread unless a test says otherwise. A start that
// throws std::system_error is a process at its limit of threads or memory.
using ThreadStart = std::function<std::thread(std::function<void()>)>;

inline std::thread startThread(const ThreadStart& start, std::function<void()> work) {
    return start ? start(std::move(work)) : std::thread(std::move(work));
}

// Runs work on a thread of its own while the caller goes on, and hands its result over at
// get(). When no thread can be had the work runs at once on the caller's: the call loses
// its parallelism, never its return code.
template <class R>
class Alongside {
public:
    template <class Work>
    Alongside(const ThreadStart& start, Work work)
        : m_task(std::move(work)), m_result(m_task.get_future()) {
        try {
            m_thread = startThread(start, [this] { m_task(); });
        } catch (const std::system_error&) {
        }
        if (!m_thread.joinable())
            m_task();
    }
    ~Alongside() {
        if (m_thread.joinable())
            m_thread.join();
    }
    Alongside(const Alongside&) = delete;
    Alongside& operator=(const Alongside&) = delete;

    R get() {
        if (m_thread.joinable())
            m_thread.join();
        return m_result.get();
    }

private:
    std::packaged_task<R()> m_task;
    std::future<R> m_result;
    std::thread m_thread;
};

} // namespace vadok::archiver
