#include "measure/MeasureWaits.h"

#include <QCoreApplication>
#include <QFile>
#include <QPointer>
#include <QQuickItem>
#include <QQuickWindow>
#include <QStringList>
#include <QTimer>

#include <pthread.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "model/AppModel.h"

namespace halvetrop::measure {

namespace {

int64_t nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int64_t ms(int64_t ns) { return ns / 1'000'000; }

// The item of that name among those the window shows.
QQuickItem* findItem(QQuickItem* item, const QString& name) {
    if (!item) return nullptr;
    if (item->objectName() == name) return item;
    for (QQuickItem* child : item->childItems())
        if (QQuickItem* hit = findItem(child, name)) return hit;
    return nullptr;
}

}  // namespace

class RunEnds {
public:
    void ended(CheckLevel level) {
        std::lock_guard<std::mutex> hold(lock_);
        last_[level] = nowNs();
    }
    // When the last run at that level returned; -1 before any.
    int64_t last(CheckLevel level) const {
        std::lock_guard<std::mutex> hold(lock_);
        const auto it = last_.find(level);
        return it == last_.end() ? -1 : it->second;
    }

private:
    mutable std::mutex lock_;
    std::map<CheckLevel, int64_t> last_;
};

std::shared_ptr<RunEnds> runEnds() { return std::make_shared<RunEnds>(); }

namespace {

class TimedVerifier final : public IVerifier {
public:
    TimedVerifier(std::shared_ptr<IVerifier> inner, std::shared_ptr<RunEnds> ends)
        : inner_(std::move(inner)), ends_(std::move(ends)) {}
    const VerifyRequest& request() const override { return inner_->request(); }
    void setOnProgress(std::function<void(const VerifyProgress&)> callback) override {
        inner_->setOnProgress(std::move(callback));
    }
    void setOnFileResult(std::function<void(const FileResult&)> callback) override {
        inner_->setOnFileResult(std::move(callback));
    }
    void setOnCardAccessTimes(std::function<void(CardAccessTimes)> callback) override {
        inner_->setOnCardAccessTimes(std::move(callback));
    }
    VerifyReport run() override {
        VerifyReport report = inner_->run();
        ends_->ended(inner_->request().level);
        return report;
    }
    void cancel() override { inner_->cancel(); }

private:
    std::shared_ptr<IVerifier> inner_;
    std::shared_ptr<RunEnds> ends_;
};

// Pings the GUI thread from a thread of its own, 2 ms after the last ping was answered: how long a
// ping waited is how long a key press or a click would have waited then. Of each wait also the GUI
// thread's own processor time in it: on a loaded machine the rest is time it was kept from running.
class Pinger {
public:
    struct Wait {
        int64_t wallNs = 0;
        int64_t cpuNs = 0;  // the GUI thread's, during that wait
    };

    Pinger() {
        pthread_getcpuclockid(pthread_self(), &guiClock_);
        thread_ = std::thread([this] { loop(); });
    }
    ~Pinger() {
        {
            std::lock_guard<std::mutex> hold(lock_);
            stop_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }
    // The longest wait of the pings answered from `from` to `to`, counted from `from` at the
    // earliest, and the most processor time the GUI thread spent in any of them.
    Wait longest(int64_t from, int64_t to) const {
        std::lock_guard<std::mutex> hold(lock_);
        Wait out;
        for (const Ping& p : pings_)
            if (p.answered >= from && p.answered <= to) {
                out.wallNs = std::max(out.wallNs, p.answered - std::max(p.posted, from));
                out.cpuNs = std::max(out.cpuNs, p.cpuAnswered - p.cpuPosted);
            }
        return out;
    }

private:
    struct Ping {
        int64_t posted, answered, cpuPosted, cpuAnswered;
    };

    static int64_t cpuNs(clockid_t clock) {
        timespec t{};
        clock_gettime(clock, &t);
        return int64_t(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
    }

    void loop() {
        std::unique_lock<std::mutex> hold(lock_);
        while (!stop_) {
            const int64_t posted = nowNs();
            const int64_t cpuPosted = cpuNs(guiClock_);
            answered_ = false;
            hold.unlock();
            QMetaObject::invokeMethod(
                &receiver_,
                [this, posted, cpuPosted] {
                    const int64_t cpu = cpuNs(CLOCK_THREAD_CPUTIME_ID);
                    {
                        std::lock_guard<std::mutex> h(lock_);
                        pings_.push_back({posted, nowNs(), cpuPosted, cpu});
                        answered_ = true;
                    }
                    wake_.notify_all();
                },
                Qt::QueuedConnection);
            hold.lock();
            wake_.wait(hold, [this] { return answered_ || stop_; });
            wake_.wait_for(hold, std::chrono::milliseconds(2), [this] { return stop_; });
        }
    }

    QObject receiver_;  // on the GUI thread; its pings go with it
    clockid_t guiClock_{};
    mutable std::mutex lock_;
    std::condition_variable wake_;
    bool stop_ = false;
    bool answered_ = false;
    std::vector<Ping> pings_;
    std::thread thread_;
};

// The first frame the window shows of a change: the first swapped after a synchronisation that began
// once the change was made. Written on the render thread, read on the GUI thread.
struct Frames {
    std::atomic<int> armed{0};  // the change being waited for, by number
    std::atomic<int> synced{0};
    std::atomic<int> shown{0};
    std::atomic<int64_t> shownAt{-1};
    std::atomic<int64_t> firstEver{-1};
    // Each frame's drawing, from the start of its synchronisation to its swap: when it ended, how
    // long it took.
    std::atomic<int64_t> syncing{-1};
    std::mutex lock;
    std::vector<std::pair<int64_t, int64_t>> drawn;
    int64_t longest(int64_t from, int64_t to) {
        std::lock_guard<std::mutex> hold(lock);
        int64_t out = 0;
        for (const auto& [end, took] : drawn)
            if (end >= from && end <= to) out = std::max(out, took);
        return out;
    }
};

// One moment: from when it began (a run's end, a call) until its change is first drawn and `settle`
// longer; how long the GUI thread kept a ping waiting meanwhile, and when that first frame came.
struct Moment {
    std::string name;
    std::function<bool()> applied;  // the change is on the model
    std::function<int64_t()> from;  // when the moment began; asked once applied
    int settleMs = 1000;
    int number = 0;
    int64_t fromNs = -1;
    int64_t startedNs = -1;
};

struct Measured {
    int64_t waitMs = -1;
    int64_t cpuMs = -1;   // the GUI thread's own work in its longest wait
    int64_t drawMs = -1;  // the longest frame's drawing, synchronisation to swap
    int64_t firstMs = -1;
};

class Script : public QObject {
public:
    Script(QQuickWindow& window, AppModel& model, int64_t entryNs)
        : QObject(&model), window_(window), model_(model), entryNs_(entryNs) {
        auto frames = frames_;
        QObject::connect(
            &window, &QQuickWindow::beforeSynchronizing, this, [frames] { frames->syncing.store(nowNs()); },
            Qt::DirectConnection);
        QObject::connect(
            &window, &QQuickWindow::afterSynchronizing, this,
            [frames] { frames->synced.store(frames->armed.load()); }, Qt::DirectConnection);
        QObject::connect(
            &window, &QQuickWindow::frameSwapped, this,
            [frames] {
                const int n = frames->synced.load();
                if (const int64_t began = frames->syncing.exchange(-1); began >= 0) {
                    std::lock_guard<std::mutex> hold(frames->lock);
                    frames->drawn.emplace_back(nowNs(), nowNs() - began);
                }
                int64_t none = -1;
                frames->firstEver.compare_exchange_strong(none, nowNs());
                if (n != 0 && frames->shown.load() != n) {
                    frames->shownAt.store(nowNs());
                    frames->shown.store(n);
                }
            },
            Qt::DirectConnection);
        for (auto signal :
             {&AppModel::phaseChanged, &AppModel::reportChanged, &AppModel::deepVerifyingChanged,
              &AppModel::modeChanged, &AppModel::gridViewChanged, &AppModel::historyChanged})
            QObject::connect(&model, signal, this, [this] { arm(); });
        QObject::connect(&model, &AppModel::deepVerifyingChanged, this, [this] {
            if (model_.deepVerifying()) passBegan_ = nowNs();
        });
        tick_.setInterval(10);
        QObject::connect(&tick_, &QTimer::timeout, this, [this] { advance(); });
    }

    using Step = std::function<bool()>;
    void add(Step step) { steps_.push_back(std::move(step)); }
    void start() { tick_.start(); }

    // Steps.
    Step pause(int msecs) {
        auto since = std::make_shared<int64_t>(-1);
        return [since, msecs] {
            if (*since < 0) *since = nowNs();
            return nowNs() - *since >= int64_t(msecs) * 1'000'000;
        };
    }
    Step act(std::function<void()> fn) {
        return [fn] {
            fn();
            return true;
        };
    }
    Step until(std::function<bool()> pred, int timeoutMs = 300'000) {
        auto since = std::make_shared<int64_t>(-1);
        return [this, since, pred, timeoutMs] {
            if (*since < 0) *since = nowNs();
            if (pred()) return true;
            if (nowNs() - *since > int64_t(timeoutMs) * 1'000'000) fail("a step did not end");
            return false;
        };
    }
    // Begins `m` with `call`, then waits until it has been measured.
    Step moment(Moment m, std::function<void()> call = {}) {
        auto begun = std::make_shared<bool>(false);
        return [this, m, call, begun]() mutable {
            if (!*begun) {
                *begun = true;
                begin(m, call);
            }
            return !current_;
        };
    }

    // Scrolls the file table by `step` pixels a frame's time apart for `msecs`, turning at its
    // ends, as a flick of the wheel moves it.
    void scrollTable(int msecs, double step) {
        QQuickItem* list = findItem(window_.contentItem(), QStringLiteral("fileTableList"));
        if (!list) return fail("the file table is not shown");
        auto* timer = new QTimer(this);
        const int64_t until = nowNs() + int64_t(msecs) * 1'000'000;
        auto by = std::make_shared<double>(step);
        QObject::connect(timer, &QTimer::timeout, this,
                         [timer, list = QPointer<QQuickItem>(list), until, by] {
                             if (!list || nowNs() >= until) {
                                 timer->deleteLater();
                                 return;
                             }
                             const double y = list->property("contentY").toReal() + *by;
                             const double end = list->property("contentHeight").toReal() - list->height();
                             if (y <= 0 || y >= end) *by = -*by;
                             list->setProperty("contentY", std::clamp(y, 0.0, std::max(end, 0.0)));
                         });
        timer->start(16);
    }

    int64_t since(int64_t ns) const { return ms(nowNs() - ns); }
    int64_t entry() const { return entryNs_; }
    int64_t firstFrameMs() const {
        const int64_t f = frames_->firstEver.load();
        return f < 0 ? -1 : ms(f - entryNs_);
    }
    int64_t passBegan() const { return passBegan_; }
    const Pinger& pinger() const { return pinger_; }
    bool measuring() const { return current_.has_value(); }

    void begin(Moment m, const std::function<void()>& call = {}) {
        m.number = ++numbers_;
        m.startedNs = nowNs();
        current_ = std::move(m);
        if (call) call();
        arm();
    }

    void record(const std::string& name, Measured m) { results_[name].push_back(m); }
    void note(const std::string& name, int64_t value) { figures_[name].push_back(value); }

    void fail(const char* what) {
        if (std::exchange(failed_, true)) return;
        tick_.stop();
        std::printf("{\"failed\":\"%s\"}\n", what);
        std::fflush(stdout);
        model_.shutdown();
        QCoreApplication::exit(1);
    }

    void finishAll() {
        // A JSON list of numbers.
        const auto list = [](const std::vector<int64_t>& values) {
            QStringList out;
            for (int64_t v : values) out << QString::number(v);
            return QStringLiteral("[") + out.join(u',') + u']';
        };
        QString out = QStringLiteral("{");
        if (QFile load(QStringLiteral("/proc/loadavg")); load.open(QIODevice::ReadOnly))
            out += QStringLiteral("\"load1\":") + QString::fromLatin1(load.readLine().split(' ').value(0));
        for (const auto& [name, values] : figures_)
            out += QStringLiteral(",\"%1\":%2").arg(QString::fromStdString(name), list(values));
        for (const auto& [name, values] : results_) {
            std::vector<int64_t> waits, cpus, draws, firsts;
            for (const Measured& m : values) {
                waits.push_back(m.waitMs);
                cpus.push_back(m.cpuMs);
                draws.push_back(m.drawMs);
                firsts.push_back(m.firstMs);
            }
            out += QStringLiteral(",\"%1\":{\"wait_ms\":%2,\"cpu_ms\":%3,\"draw_ms\":%4,\"first_ms\":%5}")
                       .arg(QString::fromStdString(name), list(waits), list(cpus), list(draws), list(firsts));
        }
        out += u'}';
        std::printf("%s\n", qPrintable(out));
        std::fflush(stdout);
        model_.shutdown();
        QCoreApplication::quit();
    }

private:
    void arm() {
        if (!current_ || current_->fromNs >= 0 || !current_->applied()) return;
        current_->fromNs = current_->from ? current_->from() : current_->startedNs;
        frames_->armed.store(current_->number);
        // A change the window has drawn already (a short pass can end before its moment begins)
        // would otherwise wait for whatever draws next, as late as the minute's clock; where the
        // change is still to be drawn a frame is coming anyway, and this asks for no other.
        window_.update();
    }

    void advance() {
        if (failed_) return;
        if (current_) {
            arm();
            const int64_t now = nowNs();
            const bool shown = frames_->shown.load() == current_->number;
            if (shown && now - frames_->shownAt.load() >= int64_t(current_->settleMs) * 1'000'000) {
                const int64_t from = current_->fromNs;
                const Pinger::Wait wait = pinger_.longest(from, now);
                const Measured m{ms(wait.wallNs), ms(wait.cpuNs), ms(frames_->longest(from, now)),
                                 ms(frames_->shownAt.load() - from)};
                record(current_->name, m);
                // On the monotonic clock, as `perf record -k CLOCK_MONOTONIC` stamps its samples.
                if (verbose_)
                    std::fprintf(stderr,
                                 "moment %s: %.6f to %.6f s, wait %lld ms (%lld ms working), longest drawing "
                                 "%lld ms, first frame %lld ms\n",
                                 current_->name.c_str(), double(from) / 1e9, double(now) / 1e9,
                                 static_cast<long long>(m.waitMs), static_cast<long long>(m.cpuMs),
                                 static_cast<long long>(m.drawMs), static_cast<long long>(m.firstMs));
                frames_->armed.store(0);
                current_.reset();
            } else if (now - current_->startedNs > int64_t(120'000) * 1'000'000) {
                return fail("a moment was never drawn");
            }
        }
        while (!failed_ && at_ < steps_.size() && steps_[at_]()) ++at_;
        if (!failed_ && at_ == steps_.size() && !current_) {
            tick_.stop();
            finishAll();
        }
    }

    QQuickWindow& window_;
    AppModel& model_;
    const int64_t entryNs_;
    Pinger pinger_;
    std::shared_ptr<Frames> frames_ = std::make_shared<Frames>();
    std::optional<Moment> current_;
    int numbers_ = 0;
    int64_t passBegan_ = -1;
    QTimer tick_;
    std::vector<Step> steps_;
    size_t at_ = 0;
    bool failed_ = false;
    const bool verbose_ = qEnvironmentVariableIsSet("HALVETROP_MEASURE_VERBOSE");
    std::map<std::string, std::vector<Measured>> results_;
    std::map<std::string, std::vector<int64_t>> figures_;
};

// A check of the chosen card and the pass it starts, its moments measured; `busy`: the check is
// made from the file table, which the pass then folds into, the table is opened and scrolled
// while the pass runs, and the views are switched until it ends, each a moment.
void checkSteps(Script& s, AppModel& model, const std::shared_ptr<RunEnds>& ends, bool busy) {
    auto began = std::make_shared<int64_t>(-1);
    auto serial = std::make_shared<quint64>(0);
    if (busy) {
        s.add(s.act([&model] {
            model.setGridView(false);
            model.setMode(AppModel::Mode::Files);
        }));
        s.add(s.pause(1000));
    }
    s.add(s.act([&model, began, serial] {
        *serial = model.reportSerial();
        *began = nowNs();
        model.check(std::optional<CheckLevel>(CheckLevel::standard));
    }));
    const std::string suffix = busy ? "_busy" : "";
    Moment result{busy ? "result_table" : "result",
                  [&model, serial] {
                      return model.phase() == AppModel::Phase::Results && model.reportSerial() != *serial;
                  },
                  [ends] { return ends->last(CheckLevel::standard); }};
    s.add(s.moment(result));
    s.add(s.act([&s, ends, began, suffix] {
        s.note("check_ms" + suffix, ms(ends->last(CheckLevel::standard) - *began));
    }));
    s.add(s.until([&s, began] { return s.passBegan() > *began; }, 10'000));
    if (busy) {
        // The table clicked from the shoots, then scrolled, while batches of the pass arrive.
        s.add(s.act([&model] { model.setMode(AppModel::Mode::Shoots); }));
        s.add(s.pause(600));
        s.add(s.moment(Moment{"pass_files", [] { return true; }, {}, 1000},
                       [&model] { model.setMode(AppModel::Mode::Files); }));
        s.add(s.moment(Moment{"pass_scroll", [] { return true; }, {}, 3000},
                       [&s] { s.scrollTable(3000, 72); }));
        s.add(s.act([&model] { model.setMode(AppModel::Mode::Shoots); }));
        s.add(s.pause(600));
        // Shoots > map > table > grid > shoots, each switch drawn and half a second more, while
        // the pass runs.
        auto next = std::make_shared<int>(0);
        s.add([&s, &model, next] {
            if (s.measuring()) return false;
            if (!model.deepVerifying()) return true;
            static const char* names[] = {"shoots>map", "map>table", "table>grid", "grid>shoots"};
            const int k = (*next)++ % 4;
            Moment m{std::string("switch ") + names[k], [] { return true; }, {}, 500};
            s.begin(m, [&model, k] {
                if (k == 0) model.setMode(AppModel::Mode::Map);
                if (k == 1) {
                    model.setGridView(false);
                    model.setMode(AppModel::Mode::Files);
                }
                if (k == 2) model.setGridView(true);
                if (k == 3) model.setMode(AppModel::Mode::Shoots);
            });
            return false;
        });
        s.add(s.act(
            [&s, ends] { s.note("pass_ms_busy", ms(ends->last(CheckLevel::verified) - s.passBegan())); }));
        s.add(s.act([&model] {
            model.setGridView(false);
            model.setMode(AppModel::Mode::Shoots);
        }));
    } else {
        Moment end{"pass_end", [&model] { return !model.deepVerifying(); },
                   [ends] { return ends->last(CheckLevel::verified); }};
        s.add(s.moment(end));
        s.add(s.act([&s, ends] { s.note("pass_ms", ms(ends->last(CheckLevel::verified) - s.passBegan())); }));
    }
    s.add(s.pause(1000));
}

// Opens the newest saved check as its row in the sidebar does.
void openSteps(Script& s, AppModel& model, const std::string& name) {
    auto serial = std::make_shared<quint64>(0);
    Moment open{name,
                [&model, serial] {
                    return model.phase() == AppModel::Phase::Results && model.reportSerial() != *serial;
                },
                {}};
    s.add(s.until([&model] { return model.historyLoaded() && !model.history().empty(); }));
    s.add(s.moment(open, [&model, serial] {
        *serial = model.reportSerial();
        model.showHistory(model.history().front().id.toString());
    }));
    s.add(s.pause(1000));
}

}  // namespace

VerifierFactory timedVerifiers(std::shared_ptr<RunEnds> ends) {
    return [ends, real = realVerifierFactory()](VerifyRequest request) -> std::shared_ptr<IVerifier> {
        return std::make_shared<TimedVerifier>(real(std::move(request)), ends);
    };
}

void measureWaits(QQuickWindow& window, AppModel& model, const QElapsedTimer& sinceEntry, const QString& what,
                  std::shared_ptr<RunEnds> ends) {
    auto* s = new Script(window, model, nowNs() - sinceEntry.nsecsElapsed());
    s->add(s->until([s] { return s->firstFrameMs() >= 0; }, 60'000));
    s->add(s->act([s] { s->note("start_first_ms", s->firstFrameMs()); }));
    if (what == QLatin1String("history")) {
        // From the first frame until the saved checks are listed, and a second more.
        auto listed = std::make_shared<int64_t>(-1);
        s->add(s->until([&model, listed] {
            if (model.historyCount() == 0) return false;
            *listed = nowNs();
            return true;
        }));
        s->add(s->pause(1000));
        s->add(s->act([s, listed] {
            const int64_t first = s->entry() + s->firstFrameMs() * 1'000'000;
            s->note("listed_ms", ms(*listed - s->entry()));
            const Pinger::Wait wait = s->pinger().longest(first, nowNs());
            s->note("start_wait_ms", ms(wait.wallNs));
            s->note("start_cpu_ms", ms(wait.cpuNs));
        }));
        openSteps(*s, model, "open_saved");
        s->start();
        return;
    }
    const QStringList parts = what.split(QLatin1Char(':'));
    if (parts.size() < 2) return s->fail("HALVETROP_MEASURE_WAITS wants CARD:BACKUP... or history");
    s->add(s->pause(1000));
    s->add(s->act([&model, parts] {
        model.setSource(parts[0].toStdString());
        std::vector<std::string> backups;
        for (const QString& b : parts.mid(1)) backups.push_back(b.toStdString());
        model.addBackups(backups);
        model.setCardOnly(false);
    }));
    s->add(s->pause(1000));
    checkSteps(*s, model, ends, false);
    openSteps(*s, model, "open");
    checkSteps(*s, model, ends, false);
    checkSteps(*s, model, ends, true);
    s->start();
}

}  // namespace halvetrop::measure
