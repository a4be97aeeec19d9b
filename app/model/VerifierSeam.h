#pragma once
// The model drives a check through this seam so that tests can script every outcome, progress
// report and per-file result, while the application runs the core's Verifier behind it.
#include "verify/Verifier.h"

#include <functional>
#include <memory>

namespace halvetrop {

class IVerifier {
public:
    virtual ~IVerifier() = default;
    virtual const VerifyRequest& request() const = 0;
    // Both may be called from several worker threads at once; set them before run().
    virtual void setOnProgress(std::function<void(const VerifyProgress&)> callback) = 0;
    virtual void setOnFileResult(std::function<void(const FileResult&)> callback) = 0;
    // Told once, on a worker thread, as soon as the check knows it changes the card's access times
    // (see Verifier::onCardAccessTimes); set it before run().
    virtual void setOnCardAccessTimes(std::function<void(CardAccessTimes)> callback) = 0;
    // Blocks for the whole check; throws VerifyError (cancelled, cannotRead) or passes on what a
    // worker threw.
    virtual VerifyReport run() = 0;
    // Any thread, any number of times; run() ends soon after with VerifyError::cancelled.
    virtual void cancel() = 0;
};

using VerifierFactory = std::function<std::shared_ptr<IVerifier>(VerifyRequest)>;

// The core's Verifier behind the seam.
VerifierFactory realVerifierFactory();

}  // namespace halvetrop
