// The byte-by-byte pass: a second check at the verified level over the shown result, whose
// per-file results are folded into the shown report as they come.
#include "drives/VolumeMatch.h"
#include "model/AppModel.h"

#include <QThreadPool>

#include "model/AppModelWork.h"
#include "model/FileList.h"

namespace halvetrop {

void AppModel::stopPass() {
    if (deepVerifier_) deepVerifier_->cancel();
    deepVerifier_.reset();
    pass_.reset();
    drainTimer_.stop();
    if (deepVerifying_) setDeepVerifying(false);
}

void AppModel::stopDeepVerify() { stopPass(); }

void AppModel::startDeepVerify() {
    if (waitForRestore(CheckLevel::verified)) return;
    if (report_ && savedCardNotHere()) {
        sayInsertSavedCard(QStringLiteral("to check it again."));
        return;
    }
    if (!report_ || !source_ || destinations_.empty() || report_->totals.covered() < 1) return;
    if (copying() || shutDown_) return;
    const std::vector<std::string> backups = connectedBackups();
    if (backups.empty()) return;
    stopPass();
    std::vector<std::string> open{*source_};
    open.insert(open.end(), backups.begin(), backups.end());
    access_.begin(open);

    VerifyRequest request(*source_, backups);
    request.scope = report_->scope;
    request.requiredCopies = requiredCopies();
    request.level = CheckLevel::verified;
    auto pass = std::make_shared<Pass>();
    pass->backups = backups;
    pass->verifier = makeVerifier(std::move(request));
    auto v = pass->verifier;
    pass_ = pass;
    deepVerifier_ = v;
    setDeepVerifying(true);
    deepProgress_ = VerifyProgress{VerifyProgress::Stage::scanningSource, "", 0, report_->totals.covered()};
    emit deepProgressChanged();

    auto alive = alive_;
    std::weak_ptr<Pass> weakPass = pass;
    v->setOnProgress([alive, weakPass](const VerifyProgress& p) {
        auto ps = weakPass.lock();
        if (!ps || !ps->throttle.admit(p)) return;
        std::weak_ptr<IVerifier> wv = ps->verifier;
        post(alive, [wv, p](AppModel& m) {
            if (auto v = wv.lock(); v && m.deepVerifier_ == v) {
                m.deepProgress_ = p;
                emit m.deepProgressChanged();
            }
        });
    });
    v->setOnFileResult([weakPass](const FileResult& r) {
        if (auto ps = weakPass.lock()) ps->buffer.append(r);
    });
    drainTimer_.start();
    runOffGui([v, notConnected = unresolvedAmong(unresolved_, destinations_),
               watch = watchBackups(backups)]() mutable {
        if (auto left = watch.notHere(); !left.empty())
            return std::function<void(AppModel&)>([v, left](AppModel& m) { m.restartPassWithout(v, left); });
        watch.start();
        std::optional<VerifyReport> report;
        try {
            report = v->run();
            noteNotConnected(*report, notConnected);
        } catch (const std::exception&) {
            // A failed or cancelled pass shows nothing; the folded statuses stay.
        }
        std::vector<std::string> gone = watch.goneSinceStart();
        std::optional<PreparedReport> prepared;
        if (report) {
            noteNotConnected(*report, gone);
            prepared = prepareReport(std::move(*report), true, false);
        }
        return std::function<void(AppModel&)>([v, report = std::move(prepared), gone](AppModel& m) mutable {
            bool current = m.deepVerifier_ == v;
            m.applyPassOutcome(v, std::move(report));
            m.backupsLeft(gone, current);
        });
    });
}

void AppModel::restartPassWithout(const std::shared_ptr<IVerifier>& v, const std::vector<std::string>& left) {
    markNotConnected(left);
    if (deepVerifier_ != v) return;
    stopPass();
    startDeepVerify();
}

void AppModel::applyPassOutcome(const std::shared_ptr<IVerifier>& v, std::optional<PreparedReport> report) {
    giveBack();
    // Read at the place of a card that has gone, the pass says nothing of it.
    checkMounts();
    if (deepVerifier_ != v) return;
    if (report && cardMount_ && !sameMount(report->report.source, *cardMount_)) {
        cardLeft();
        return;
    }
    // The pass's report continues the shown one when it is of the same card and backups.
    const bool sameCheck = report && report_ && pass_ && sameBackups(*report_, pass_->backups) &&
                           report->report.source.path == report_->source.path;
    deepVerifier_.reset();
    pass_.reset();
    drainTimer_.stop();
    setDeepVerifying(false);
    if (report) finish(std::move(*report), true, sameCheck);
}

void AppModel::drainPass() {
    // Results read since the card's mount went are of whatever is at its place: none is folded.
    checkMounts();
    if (!pass_ || deepVerifier_ != pass_->verifier) {
        drainTimer_.stop();
        return;
    }
    auto batch = pass_->buffer.takeAll();
    if (batch.empty()) return;
    applyLive(batch, pass_->backups);
    // Each of the thousands of results holds its texts and copies: freeing them would take a good
    // part of the frame that shows the fold, so a worker does.
    startWorker(backgroundPool_,
                [spent = std::move(batch)]() mutable { std::vector<FileResult>().swap(spent); });
}

void AppModel::applyLive(const std::vector<FileResult>& batch, const std::vector<std::string>& passBackups) {
    // Copies name backups by position: results of a pass over other backups (or the same ones
    // in another order) would credit the wrong drives, so they are not folded at all.
    if (!report_ || !sameBackups(*report_, passBackups)) return;
    LiveFold fold = foldLive(*report_, batch);
    if (fold.changed.empty() && !fold.safeRevoked) return;
    // A fold moves the totals by the files it changed: from the first on, they are the count of the
    // files, whatever a saved report said.
    if (!totalsCounted_) {
        recountTotals(*report_);
        totalsCounted_ = true;
    }
    visible_ = filesByID_.refold(*report_, query(), visible_, fold.changed);
    fileRows_.fold(visible_, fold.changed);
    emit visibleFilesChanged();
    folded_ = &fold.changed;
    emit reportChanged();
    folded_ = nullptr;
    emit filesByIDChanged();
    emitComputed();
}

}  // namespace halvetrop
