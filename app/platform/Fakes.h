#pragma once
// Scripted stand-ins for the desktop services, for tests and for rendering screens in fixed states.
// Each records what it was asked and answers what the test put in it.
#include "platform/Platform.h"

#include <QTimer>

#include <deque>

namespace halvetrop {

class FakeFolderPicker : public FolderPicker {
public:
    struct Call {
        QString title, prompt;
        std::optional<std::string> startingAt;
        bool multiple;
        std::optional<std::string> selected;
        std::vector<std::string> fenced;
        std::optional<std::string> refused;
        QString refusedWhy;
    };
    std::deque<std::vector<std::string>> answers;  // one per call; empty deque = cancelled
    std::vector<Call> calls;
    std::vector<std::string> pickFolder(const QString& title, const QString& prompt,
                                        const std::optional<std::string>& startingAt, bool multiple,
                                        const std::optional<std::string>& selected,
                                        const std::vector<std::string>& fenced = {},
                                        const std::optional<std::string>& refused = {},
                                        const QString& refusedWhy = {}) override {
        calls.push_back({title, prompt, startingAt, multiple, selected, fenced, refused, refusedWhy});
        if (answers.empty()) return {};
        auto answer = std::move(answers.front());
        answers.pop_front();
        return answer;
    }
};

class FakeSavePicker : public SavePicker {
public:
    std::optional<std::string> answer;
    QString lastSuggestedName;
    std::vector<std::string> folders;  // where each dialog was asked to open
    std::vector<std::string> lastFenced;
    std::optional<std::string> saveFile(const QString&, const QString& suggestedName, const QString&,
                                        const std::string& folder,
                                        const std::vector<std::string>& fenced = {}) override {
        lastSuggestedName = suggestedName;
        lastFenced = fenced;
        folders.push_back(folder);
        return answer;
    }
};

class FakeVolumeMonitor : public VolumeMonitor {
public:
    std::function<void()> onChange;
    void start(std::function<void()> callback) override { onChange = std::move(callback); }
    void fire() {
        if (onChange) onChange();
    }
};

// Answers an eject when the test says so (finish), so a test can look at the state in between.
class FakeEjector : public Ejector {
public:
    struct Pending {
        std::string mountPoint;
        std::function<void(std::optional<EjectFailure>)> done;
    };
    std::vector<Pending> pending;
    std::vector<std::string> asked;  // the mount points, in order
    std::vector<EjectTarget> targets;
    void eject(const EjectTarget& target, std::function<void(std::optional<EjectFailure>)> done) override {
        asked.push_back(target.mountPoint);
        targets.push_back(target);
        pending.push_back({target.mountPoint, std::move(done)});
    }
    void finish(std::optional<EjectFailure> failure = std::nullopt) {
        if (pending.empty()) return;
        auto p = std::move(pending.front());
        pending.erase(pending.begin());
        p.done(std::move(failure));
    }
};

// Without a file manager every request fails, on the next turn of the event loop as a real one's.
class FakeReveal : public Reveal {
public:
    std::vector<std::vector<std::string>> revealed;
    bool fileManager = true;
    void reveal(const std::vector<std::string>& paths, std::function<void()> failed) override {
        revealed.push_back(paths);
        if (!fileManager && failed) QTimer::singleShot(0, std::move(failed));
    }
};

// A bookmark is the path itself; paths listed in `gone` no longer resolve.
class FakeBookmarks : public Bookmarks {
public:
    std::vector<std::string> gone;
    std::optional<QByteArray> make(const std::string& path) override {
        return QByteArray("fake:") + QByteArray::fromStdString(path);
    }
    std::optional<std::string> resolve(const QByteArray& bookmark) override {
        if (!bookmark.startsWith("fake:")) return std::nullopt;
        std::string path = bookmark.mid(5).toStdString();
        for (const auto& g : gone)
            if (g == path) return std::nullopt;
        return path;
    }
};

class FakeAppearance : public Appearance {
public:
    AppearanceValues values;
    std::function<void()> changed;
    AppearanceValues current() const override { return values; }
    void onChange(std::function<void()> callback) override { changed = std::move(callback); }
    void set(const AppearanceValues& v) {
        values = v;
        if (changed) changed();
    }
};

// `first` decides whether claim() wins; raise() plays a second launch.
class FakeSingleInstance : public SingleInstance {
public:
    bool first = true;
    std::function<void()> onRaise;
    bool claim(std::function<void()> callback) override {
        if (first) onRaise = std::move(callback);
        return first;
    }
    void raise() {
        if (onRaise) onRaise();
    }
};

}  // namespace halvetrop
