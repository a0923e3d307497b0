#pragma once

// File-system work on mounts that may never answer (a FUSE server that stopped reading, a
// network share whose server is gone), run on threads of its own so that the caller waits only
// until a deadline. A thread that the kernel keeps blocked is detached and left behind: the
// process can still exit, since exit ends every thread that waits for a file-system answer which
// was never read. Each mount has at most one such thread at a time: while one is stuck, further
// work on that mount is refused at once.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <utility>

#include "platform/trace.h"

namespace kavelin::platform {

class BoundedProbes {
public:
    using Clock = std::chrono::steady_clock;

    // Probes of mounts, traced under "volumes"; or of one subject (a folder, say), traced under
    // topic with that subject's name.
    BoundedProbes() = default;
    BoundedProbes(std::string topic, std::string subject)
        : topic_(std::move(topic)), subject_(std::move(subject)) {}

    // The outcome of one piece of work, shared with the thread that does it.
    template <typename Result> struct Job {
        std::optional<Result> result; // set by the thread, under the state's mutex
        bool done = false;
    };

    // Starts work for the mount known by key on a thread of its own, after any earlier work on
    // that mount has finished (waiting for that no later than deadline); nullptr when the mount
    // is stuck, stayed busy until the deadline or no thread could be started.
    template <typename Result>
    std::shared_ptr<Job<Result>> start(int key, Clock::time_point deadline,
                                       std::function<Result()> work) {
        std::unique_lock lock(state_->mutex);
        if (!state_->waitUntilIdle(lock, key, deadline)) {
            traceUnanswered(key, "toujours bloqué, pas interrogé de nouveau");
            return nullptr;
        }
        auto job = std::make_shared<Job<Result>>();
        state_->busy.insert(key);
        try {
            std::thread([state = state_, job, key, work = std::move(work)] {
                Result result = work();
                std::lock_guard guard(state->mutex);
                job->result.emplace(std::move(result));
                job->done = true;
                state->busy.erase(key);
                state->stuck.erase(key);
                state->changed.notify_all();
            }).detach();
        } catch (const std::system_error&) {
            state_->busy.erase(key);
            return nullptr;
        }
        return job;
    }

    // The job's result once it is done, waiting no later than deadline; nullopt when it is not
    // done by then, and its mount counts as stuck until it is.
    template <typename Result>
    std::optional<Result> wait(int key, const std::shared_ptr<Job<Result>>& job,
                               Clock::time_point deadline) {
        if (!job)
            return std::nullopt;
        std::unique_lock lock(state_->mutex);
        if (!state_->changed.wait_until(lock, deadline, [&] { return job->done; })) {
            state_->stuck.insert(key);
            traceUnanswered(key, "sans réponse dans le délai");
            return std::nullopt;
        }
        return job->result;
    }

    template <typename Result>
    std::optional<Result> run(int key, Clock::time_point deadline, std::function<Result()> work) {
        return wait(key, start<Result>(key, deadline, std::move(work)), deadline);
    }

    // Number of mounts whose work has not finished yet.
    std::size_t pending() const {
        std::lock_guard lock(state_->mutex);
        return state_->busy.size();
    }

private:
    // Keys are the mount ids of /proc/self/mountinfo, or negative for work without a table.
    void traceUnanswered(int key, const char* what) const {
        if (!traceEnabled())
            return;
        if (!subject_.empty())
            trace(topic_, subject_ + " : " + what);
        else
            trace(topic_, (key >= 0 ? "montage " + std::to_string(key) + " de /proc/self/mountinfo"
                                    : std::string("volume hors table des montages")) +
                              " : " + what);
    }

    std::string topic_ = "volumes";
    std::string subject_;

    struct State {
        std::mutex mutex;
        std::condition_variable changed;
        std::set<int> busy;  // mounts with work in progress
        std::set<int> stuck; // mounts whose work outlived a deadline and has not finished since

        bool waitUntilIdle(std::unique_lock<std::mutex>& lock, int key,
                           Clock::time_point deadline) {
            if (stuck.contains(key))
                return false;
            if (changed.wait_until(lock, deadline, [&] { return !busy.contains(key); }))
                return true;
            stuck.insert(key);
            return false;
        }
    };
    // Shared with the threads, which may outlive this object.
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

} // namespace kavelin::platform
