#include "model/VerifierSeam.h"

namespace halvetrop {
namespace {

class CoreVerifier final : public IVerifier {
public:
    explicit CoreVerifier(VerifyRequest request) : verifier_(std::move(request)) {}
    const VerifyRequest& request() const override { return verifier_.request; }
    void setOnProgress(std::function<void(const VerifyProgress&)> callback) override {
        verifier_.onProgress = std::move(callback);
    }
    void setOnFileResult(std::function<void(const FileResult&)> callback) override {
        verifier_.onFileResult = std::move(callback);
    }
    void setOnCardAccessTimes(std::function<void(CardAccessTimes)> callback) override {
        verifier_.onCardAccessTimes = std::move(callback);
    }
    VerifyReport run() override { return verifier_.run(); }
    void cancel() override { verifier_.cancel(); }

private:
    Verifier verifier_;
};

}  // namespace

VerifierFactory realVerifierFactory() {
    return [](VerifyRequest request) -> std::shared_ptr<IVerifier> {
        return std::make_shared<CoreVerifier>(std::move(request));
    };
}

}  // namespace halvetrop
