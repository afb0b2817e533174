#pragma once

#include <QtGlobal>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace keldar::generator {

// Runs produce(i) for i = 0 .. count - 1 on `jobs` threads and hands each
// result to consume(i, result) on the calling thread, strictly in index
// order, so what is written does not depend on the number of threads.  At
// most `window` results are made ahead of the one consumed.  consume returns
// false to stop: results made but not consumed are then dropped.
template <typename Result, typename Produce, typename Consume>
void runInOrder(qint64 count, int jobs, int window, Produce produce, Consume consume)
{
    if (jobs <= 1 || count <= 1) {
        for (qint64 i = 0; i < count; ++i)
            if (!consume(i, produce(i)))
                return;
        return;
    }
    window = std::max(window, jobs);
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::optional<Result>> slots(static_cast<std::size_t>(window));
    qint64 next = 0;     // the next index to hand out
    qint64 consumed = 0; // indices below this are consumed
    bool stop = false;

    auto work = [&] {
        std::unique_lock lock(mutex);
        while (true) {
            changed.wait(lock, [&] { return stop || next >= count || next < consumed + window; });
            if (stop || next >= count)
                return;
            const qint64 i = next++;
            lock.unlock();
            Result result = produce(i);
            lock.lock();
            slots[std::size_t(i % window)].emplace(std::move(result));
            changed.notify_all();
        }
    };
    std::vector<std::thread> workers;
    for (int t = 0; t < jobs; ++t)
        workers.emplace_back(work);

    for (qint64 i = 0; i < count; ++i) {
        std::optional<Result> result;
        {
            std::unique_lock lock(mutex);
            std::optional<Result> &slot = slots[std::size_t(i % window)];
            changed.wait(lock, [&] { return slot.has_value(); });
            result.swap(slot);
            ++consumed;
        }
        changed.notify_all();
        if (!consume(i, std::move(*result))) {
            std::lock_guard lock(mutex);
            stop = true;
            break;
        }
    }
    changed.notify_all();
    for (std::thread &worker : workers)
        worker.join();
}

} // namespace keldar::generator
