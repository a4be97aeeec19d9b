// The card of the shown result as it is now: watched while the result is shown, listed again off
// the GUI thread on every change, as the window comes to the front and before anything acts on
// the result's word that the card is as it says.
#include "model/AppModel.h"
#include "model/AppModelWork.h"
#include "model/CardWatch.h"

#include <QElapsedTimer>

#include <algorithm>

namespace halvetrop {

void AppModel::watchShownCard() {
    stopWatchingCard();
    if (!report_ || !source_ || shutDown_) return;
    cardWatch_ = std::make_unique<CardWatch>(*source_, deps_.cardWatchLimit);
    connect(cardWatch_.get(), &CardWatch::changed, this, [this] {
        if (!cardSoon_.isActive()) cardSoon_.start();
    });
    // Its file system unmounted: the card is gone at once, whatever is mounted at its place next.
    // Queued: what that takes with it includes this watch.
    connect(
        cardWatch_.get(), &CardWatch::unmounted, this,
        [this] {
            checkMounts();
            refreshVolumes();
        },
        Qt::QueuedConnection);
    lookAtCard();
}

void AppModel::stopWatchingCard() {
    ++cardSerial_;
    cardWatch_.reset();
    cardSoon_.stop();
    cardPoll_.stop();
    cardLooking_ = false;
    cardLookAgain_ = false;
    std::vector<CardAct> waiting = std::move(cardActs_);
    cardActs_.clear();
    for (CardAct& a : waiting) a.act(*this, false);
}

void AppModel::lookAtCardAgain() { lookAtCard(); }

void AppModel::lookAtCard() {
    if (!cardWatch_ || !report_ || !source_ || shutDown_) return;
    if (cardLooking_) {
        cardLookAgain_ = true;
        return;
    }
    cardLooking_ = true;
    cardLookAgain_ = false;
    if (!recorded_) recorded_ = std::make_shared<const RecordedCard>(recordedCard(*report_));
    const uint64_t serial = cardSerial_, look = ++cardLooks_, epoch = reportEpoch_;
    ++cardListingsOut_;
    // A look that a copy or an eject waits for is the user's; one that only watches is not.
    QThreadPool* pool = cardActs_.empty() ? backgroundPool_ : pool_;
    runOffGui(
        [recorded = recorded_, path = *source_, marks = cardWatch_->marks(), list = deps_.cardChanges, serial,
         look, epoch] {
            QElapsedTimer took;
            took.start();
            const CardChanges changes =
                list(*recorded, path,
                     [&marks](const std::vector<std::string>& folders) { return marks->add(folders); });
            return std::function<void(AppModel&)>(
                [serial, look, epoch, changes, ms = took.elapsed()](AppModel& m) {
                    if (--m.cardListingsOut_ == 0) {
                        std::vector<std::function<void(AppModel&)>> due = std::move(m.afterCardListings_);
                        m.afterCardListings_.clear();
                        for (auto& act : due) act(m);
                    }
                    m.cardPoll_.setInterval(
                        int(std::clamp<qint64>(kCardPollShare * ms, kCardPollMs, 60 * kCardPollMs)));
                    m.applyCardLook(serial, look, epoch, changes);
                });
        },
        pool);
}

void AppModel::applyCardLook(uint64_t serial, uint64_t look, uint64_t reportEpoch, CardChanges changes) {
    // A listing of the card's folder after its mount went listed whatever is there now: the card
    // has gone instead.
    checkMounts();
    // Another result (or its card gone, or a check begun) by now.
    if (serial != cardSerial_) return;
    // Which files went is told of the report that was listed for; the one shown since is listed
    // again below.
    if (reportEpoch != reportEpoch_) changes.gone.clear();
    cardLooking_ = false;
    if (changes.accessTimesTouched > 0 && source_) noteAccessTimeTouched(*source_);
    const bool wasLooked = cardLooked_;
    if (!changes.any() && reportEpoch == reportEpoch_) cardLooked_ = true;
    // A card seen changed since stays so until it is checked again, and what it differs by is told
    // as it is now, for as long as the result is shown.
    if (changes.any() || savedCard_ == SavedCard::changed)
        setSavedCard(SavedCard::changed, changes);
    else if (savedCard_ == SavedCard::looking)
        setSavedCard(SavedCard::unchanged);
    else if (cardLooked_ != wasLooked) {
        emit savedCardChanged();
        emitComputed();
    }
    // What waited for this listing acts now, on the state it found.
    std::vector<CardAct> due;
    std::erase_if(cardActs_, [&](CardAct& a) {
        if (a.after > look) return false;
        due.push_back(std::move(a));
        return true;
    });
    for (CardAct& a : due) a.act(*this, true);
    if (serial != cardSerial_) return;  // an act stopped the watch
    if (cardLookAgain_ || !cardActs_.empty() || reportEpoch != reportEpoch_) {
        lookAtCard();
        return;
    }
    if (cardWatch_->incomplete() && !cardPoll_.isActive()) cardPoll_.start();
}

void AppModel::whenCardLooked(std::function<void(AppModel&, bool go)> act) {
    if (!cardWatch_) {
        act(*this, true);
        return;
    }
    cardActs_.push_back({cardLooks_ + 1, std::move(act)});
    lookAtCard();
}

}  // namespace halvetrop
