#pragma once
// A scripted stand-in for the core's verifier, for tests and for rendering screens in fixed
// states: it runs until told how the check ends, and its callbacks are there to be called with
// whatever progress and per-file results the caller wants the model to see.
#include "model/VerifierSeam.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>

namespace halvetrop {

// Blocks in run() until completed, failed or (unless told to ignore it) cancelled.
class FakeVerifier : public IVerifier {
public:
    explicit FakeVerifier(VerifyRequest r) : request_(std::move(r)) {}
    const VerifyRequest& request() const override { return request_; }
    void setOnProgress(std::function<void(const VerifyProgress&)> cb) override { onProgress = std::move(cb); }
    void setOnFileResult(std::function<void(const FileResult&)> cb) override { onFile = std::move(cb); }
    void setOnCardAccessTimes(std::function<void(CardAccessTimes)> cb) override {
        onAccessTimes = std::move(cb);
    }
    VerifyReport run() override {
        std::unique_lock<std::mutex> hold(lock_);
        running_ = true;
        changed_.notify_all();
        changed_.wait(hold, [&] { return result_ || error_ || (cancelled_ && !ignoreCancel); });
        running_ = false;
        // Handed over, as the core's verifier hands over the report it built.
        if (result_) return std::move(*result_);
        if (error_) throw *error_;
        throw VerifyError::cancelled();
    }
    void cancel() override {
        std::lock_guard<std::mutex> hold(lock_);
        cancelled_ = true;
        changed_.notify_all();
    }
    void complete(VerifyReport r) {
        std::lock_guard<std::mutex> hold(lock_);
        result_ = std::move(r);
        changed_.notify_all();
    }
    void fail(VerifyError e) {
        std::lock_guard<std::mutex> hold(lock_);
        error_ = std::move(e);
        changed_.notify_all();
    }
    bool cancelled() {
        std::lock_guard<std::mutex> hold(lock_);
        return cancelled_;
    }
    // Inside run(), not told yet how it ends.
    bool running() {
        std::lock_guard<std::mutex> hold(lock_);
        return running_ && !result_ && !error_ && !cancelled_;
    }
    bool waitRunning(int ms) {
        std::unique_lock<std::mutex> hold(lock_);
        return changed_.wait_for(hold, std::chrono::milliseconds(ms), [&] { return running_; });
    }

    std::function<void(const VerifyProgress&)> onProgress;
    std::function<void(const FileResult&)> onFile;
    std::function<void(CardAccessTimes)> onAccessTimes;
    std::atomic<bool> ignoreCancel{false};

private:
    VerifyRequest request_;
    std::mutex lock_;
    std::condition_variable changed_;
    bool running_ = false, cancelled_ = false;
    std::optional<VerifyReport> result_;
    std::optional<VerifyError> error_;
};

}  // namespace halvetrop
