// Running a check: building the request from the chosen card, backups and scope, following its
// progress, and applying its outcome only while it is still the current check.
#include "model/AppModel.h"
#include "model/AppModelWork.h"
#include "model/ModelText.h"
#include "present/Format.h"
#include "present/Home.h"

#include <QPointer>
#include <QTimer>

#include <sys/stat.h>

namespace halvetrop {

void AppModel::check(const QString& level) {
    check(level.isEmpty() ? std::nullopt : checkLevelFromRaw(toBytes(level)));
}

void AppModel::check(std::optional<CheckLevel> level) {
    // A saved result's card and backups are not restored yet: checking now would check others.
    if (waitForRestore(level)) return;
    // Nor is what sits at a saved card's place checked in its name.
    if (report_ && savedCardNotHere()) {
        sayInsertSavedCard(QStringLiteral("to check it again."));
        return;
    }
    if (!source_ || (!cardOnly_ && destinations_.empty()) || kinds_.empty()) return;
    if (copying() || shutDown_) return;
    // Asked to read every byte while a check or the pass already reads: that work goes on from
    // where it is, never from the beginning.
    if (level == CheckLevel::verified && (phase_ == Phase::Checking || deepVerifying_)) return;
    if (level == CheckLevel::verified && report_ && phase_ == Phase::Results) {
        startDeepVerify();
        return;
    }
    // A backup whose drive is not connected is left out: its mount-point folder on the system's
    // disk is not the backup, and walking it would find nothing there.
    const std::vector<std::string> notConnected =
        cardOnly_ ? std::vector<std::string>() : unresolvedAmong(unresolved_, destinations_);
    const std::vector<std::string> backups = cardOnly_ ? std::vector<std::string>() : connectedBackups();
    sayNotConnected(notConnected);
    if (!cardOnly_ && backups.empty()) return;
    level_ = CheckLevel::standard;
    emit levelChanged();
    stopPass();
    if (verifier_) verifier_->cancel();
    // The preview shows a file of the result this check replaces.
    closePreview();
    // Nor is that result's card watched in its name while this check reads it.
    stopWatchingCard();
    // What this check does to the card's access times it says itself, from its first open on: a
    // card remounted read-only since is not named by what was done before.
    touched_.erase(*source_);

    std::vector<std::string> open{*source_};
    open.insert(open.end(), backups.begin(), backups.end());
    access_.begin(open);

    VerifyRequest request(*source_, backups);
    request.scope = scope();
    request.level = level_;
    request.requiredCopies = requiredCopies();
    auto check = std::make_shared<Check>();
    check->verifier = makeVerifier(std::move(request));
    auto v = check->verifier;
    verifier_ = v;
    setProgress(VerifyProgress{VerifyProgress::Stage::scanningSource, toBytes(sourceName()), 0, 0});
    setPhase(Phase::Checking);

    auto alive = alive_;
    std::weak_ptr<Check> weakCheck = check;
    v->setOnProgress([alive, weakCheck](const VerifyProgress& p) {
        auto c = weakCheck.lock();
        if (!c || !c->throttle.admit(p)) return;
        std::weak_ptr<IVerifier> wv = c->verifier;
        post(alive, [wv, p](AppModel& m) {
            if (auto v = wv.lock(); v && m.verifier_ == v) m.setProgress(p);
        });
    });
    // What the check will do to the card's access times is told before it reads anything of the
    // card, whichever way it was started: asked of the card first, then the check runs.
    checkExpects_.reset();
    updateCardAccessTimesNote();
    runOffGui([v, path = *source_, expect = deps_.expectCardAccessTimes,
               run = checkWork(check, notConnected, watchBackups(backups))] {
        const CardAccessTimes what = expect(path);
        return std::function<void(AppModel&)>([v, path, what, run](AppModel& m) {
            if (m.verifier_ != v || m.shutDown_) return;  // superseded, reset or quit meanwhile
            m.checkExpects_ = std::make_pair(path, what);
            m.updateCardAccessTimesNote();
            m.runOffGui(run);
        });
    });
}

std::function<std::function<void(AppModel&)>()> AppModel::checkWork(std::shared_ptr<Check> check,
                                                                    std::vector<std::string> notConnected,
                                                                    BackupWatch watch) {
    return [check, notConnected, watch]() mutable {
        auto v = check->verifier;
        // A drive that left since the volumes were last read is not walked either.
        if (auto left = watch.notHere(); !left.empty())
            return std::function<void(AppModel&)>([v, left](AppModel& m) { m.restartCheckWithout(v, left); });
        watch.start();
        std::function<void(AppModel&)> apply;
        try {
            VerifyReport r = v->run();
            std::vector<std::string> gone = watch.goneSinceStart();
            noteNotConnected(r, notConnected);
            noteNotConnected(r, gone);
            apply = [v, r = prepareReport(std::move(r), true), gone](AppModel& m) mutable {
                bool current = m.verifier_ == v;
                m.applyCheckOutcome(v, std::move(r), {}, {});
                m.backupsLeft(gone, current);
            };
        } catch (const VerifyError& e) {
            apply = [v, e, gone = watch.goneSinceStart()](AppModel& m) {
                bool current = m.verifier_ == v;
                m.applyCheckOutcome(v, {}, e, {});
                m.backupsLeft(gone, current);
            };
        } catch (const std::exception& e) {
            QString text = QString::fromUtf8(e.what());
            apply = [v, text](AppModel& m) { m.applyCheckOutcome(v, {}, {}, text); };
        }
        return apply;
    };
}

void AppModel::restartCheckWithout(const std::shared_ptr<IVerifier>& v,
                                   const std::vector<std::string>& left) {
    markNotConnected(left);
    if (verifier_ != v) return;
    verifier_.reset();
    check(std::optional<CheckLevel>());
    if (!verifier_) setPhase(report_ ? Phase::Results : Phase::Setup);
}

void AppModel::backupsLeft(const std::vector<std::string>& gone, bool current) {
    markNotConnected(gone);
    // Its copies dropped out of the result as it went: the result says why.
    if (current) sayNotConnected(gone);
}

void AppModel::applyCheckOutcome(const std::shared_ptr<IVerifier>& v, std::optional<PreparedReport> report,
                                 std::optional<VerifyError> error, QString otherFailure) {
    giveBack();
    if (verifier_ != v) return;  // superseded: a newer check, a reset, an opened history entry
    verifier_.reset();
    // A card whose mount went while it was read is no longer the card it described at the start:
    // what was read at its place since is not recorded in its name.
    if (report && Drives::mountState(report->report.source) == MountState::gone) {
        cardLeft();
    } else if (report) {
        finish(std::move(*report), true);
    } else if (error && error->kind() == VerifyError::Kind::cancelled) {
        setPhase(report_ ? Phase::Results : Phase::Setup);
    } else {
        setPhase(Phase::Failed, error ? fromBytes(error->description()) : otherFailure);
    }
}

void AppModel::finish(PreparedReport prepared, bool record, bool sameCheck) {
    std::optional<std::string> selected;
    if (const FileResult* file = selectedFile()) selected = std::string(file->relativePathBytes());
    std::shared_ptr<const SavedReport> saved = std::move(prepared.saved);
    setReport(&prepared, sameCheck);
    const VerifyReport& shown = *report_;
    // A result made now is of the mount its check read.
    if (record && !sameCheck) cardMount_ = shown.source;
    if (record) this->record(saved ? std::move(saved) : std::make_shared<const SavedReport>(shown));
    if (record && shown.level == CheckLevel::standard && shown.totals.covered() >= 1 &&
        !shown.files.empty()) {
        // After finish has returned, and only if nothing replaced this result meanwhile.
        QPointer<AppModel> self(this);
        uint64_t serial = ++finishSerial_;
        // Counted as work until it has run, so that whoever waits for the model to settle does not
        // see it idle in the turn between the check's end and the pass's start.
        ++passesDue_;
        QTimer::singleShot(0, this, [self, serial] {
            if (!self) return;
            --self->passesDue_;
            if (self->finishSerial_ == serial && !self->verifier_) self->startDeepVerify();
        });
    }
    if (groupFilter_) {
        std::optional<ShootGroup> same;
        std::string id = groupFilter_->id();
        for (const auto& g : shown.groups)
            if (g.id() == id) same = g;
        groupFilter_ = std::move(same);
        emit groupFilterChanged();
    }
    refilter(sameCheck);
    keepSelection(selected);
    setPhase(Phase::Results);
    // A result made now speaks of the card as the check left it, for as long as it stays so.
    if (record && !sameCheck) watchShownCard();
}

void AppModel::resetResults() {
    opening_.reset();
    stopPass();
    cancelCheck();
    closePreview();
    ++finishSerial_;
    setReport(nullptr);
    visible_.clear();
    emit visibleFilesChanged();
    groupFilter_.reset();
    emit groupFilterChanged();
    folderFilter_.reset();
    emit folderFilterChanged();
    setSelectedFileID(-1);
    setPhase(Phase::Setup);
}

void AppModel::stopCheck() {
    if (!verifier_ || phase_ != Phase::Checking) return;
    // The window leaves the checking screen now, whatever the run is doing (a read stuck on a slow
    // drive, a first step not begun yet); the run stops at its next look at the flag, and what it
    // ends with is no longer the current check's and is dropped.
    cancelCheck();
    setPhase(report_ ? Phase::Results : Phase::Setup);
}

void AppModel::cancelCheck() {
    if (verifier_) verifier_->cancel();
    verifier_.reset();
}

void AppModel::checkAnotherCard(int suggestedIndex) {
    if (copying()) return;
    auto cards = suggestedCards();
    std::optional<std::string> start;
    if (suggestedIndex >= 0 && suggestedIndex < int(cards.size()))
        start = cards[size_t(suggestedIndex)].volumePath;
    else if (!cards.empty())
        start = cards.front().volumePath;
    pickNextCard(start);
}

void AppModel::pickNextCard(const std::optional<std::string>& start) {
    newCard_.reset();
    emit newCardChanged();
    chooseSource(start ? fromBytes(*start) : QString(), true);
}

void AppModel::checkAgainstBackup(bool adding) {
    if (!source_ || copying()) return;
    QString name = sourceName();
    // By its bytes: a card whose path is not UTF-8 is still there while it is mounted.
    struct stat st {};
    if (::stat(source_->c_str(), &st) != 0 || (report_ && savedCardNotHere())) {
        const QString n = report_ ? present::cardName(report_->source) : name;
        show(QStringLiteral("Insert ") + present::quoted(n) +
                 QStringLiteral(" to check it against another backup."),
             false);
        return;
    }
    QString title = adding ? "Add backups and check " + name + " again"
                           : "Choose the backup to check " + name + " against";
    const DialogStart start = dialogStart(mountRoot());
    std::vector<std::string> picked;
    for (const auto& p : deps_.platform.folderPicker->pickFolder(title, QStringLiteral("Check"), start.folder,
                                                                 true, std::nullopt, cardFolders(), source_))
        if (auto c = cleanAbsolutePath(p); c && *c != *source_) picked.push_back(*c);
    if (picked.empty()) return;
    for (const auto& p : picked)
        if (std::find(destinations_.begin(), destinations_.end(), p) == destinations_.end())
            forgetBookmark(p);
    if (adding) {
        for (const auto& p : picked)
            if (std::find(destinations_.begin(), destinations_.end(), p) == destinations_.end()) {
                auto next = destinations_;
                next.push_back(p);
                setDestinations(std::move(next));
            }
    } else {
        std::vector<std::string> unique;
        for (auto& p : picked)
            if (std::find(unique.begin(), unique.end(), p) == unique.end()) unique.push_back(p);
        setDestinations(std::move(unique));
    }
    setCardOnly(false);
    check(std::optional<CheckLevel>());
}

}  // namespace halvetrop
