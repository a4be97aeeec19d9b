#pragma once
// Tells the model, within moments, that something in the folders of a shown result's card has
// changed: the kernel's notices of a folder tree (inotify). Watching opens nothing on the card and
// writes nothing there; the folders to watch are named by the listings of the card, which run off
// the GUI thread and hand over every folder they find before they compare (Marks::add). A folder
// made later is named by the listing its making starts. What cannot be watched (the user's limit
// of watches, ours, or notices the kernel had to drop) is left to listings alone.
#include "verify/CardChanges.h"

#include <QObject>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

class QSocketNotifier;

namespace halvetrop {

class CardWatch : public QObject {
    Q_OBJECT
public:
    // The watched folders, shared with the listings in flight; any thread.
    class Marks {
    public:
        Marks(int fd, std::string root, size_t limit);
        ~Marks();
        Marks(const Marks&) = delete;
        Marks& operator=(const Marks&) = delete;
        // Watches the folders (bytes below the card) not watched yet; true when it watched any.
        bool add(const std::vector<std::string>& folders);
        // Some folder could not be watched: changes there are seen by listings only.
        bool incomplete() const { return incomplete_; }
        int fd() const { return fd_; }
        // After this nothing more is watched; the watches go with the last holder.
        void stop() { stopped_ = true; }
        // A watched folder went (deleted, moved away, unmounted): made again, it is watched anew.
        void forget(int wd);

    private:
        const int fd_;
        const std::string root_;
        const size_t limit_;
        std::atomic<bool> stopped_{false};
        std::atomic<bool> incomplete_{false};
        std::mutex lock_;
        std::set<std::string> watched_;
        std::map<int, std::string> byWatch_;
    };

    // `limit`: the most folders of one card watched, so that a vast folder tree does not take every
    // watch the user's processes may have.
    CardWatch(const std::string& root, size_t limit, QObject* parent = nullptr);
    ~CardWatch() override;

    // For the listings of this card.
    std::shared_ptr<Marks> marks() const { return marks_; }
    bool incomplete() const { return marks_->incomplete(); }

signals:
    // Something changed in a watched folder, or notices were lost.
    void changed();
    // The file system of a watched folder was unmounted.
    void unmounted();

private:
    void readNotices();

    std::shared_ptr<Marks> marks_;
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace halvetrop
