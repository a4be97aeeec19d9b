// Whole checks on real volumes about the card itself: a card that was not read whole, a card file
// that changed while the check ran, a check that must leave the card's access times alone, names
// that are not valid UTF-8, and a report that reads back from its stored form unchanged. The card
// and the backup are ext4 volumes on zram drives of their own (a FUSE card is a loop image on one),
// so each is its own drive and is read from its medium.
#include "verify/Verifier.h"

#include "CardFixture.h"
#include "copy/CopyPlanner.h"
#include "report/StoredForm.h"
#include "support/LoopVolume.h"
#include "support/Privileged.h"
#include "support/TempDir.h"
#include "support/ZramVolume.h"
#include "text/Utf8.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>
#include <variant>

namespace halvetrop {
namespace {

namespace fs = std::filesystem;
using test::LoopVolume;

constexpr int64_t kTime = 1714737600LL * 1000000000LL;
const std::string kPhoto = "DCIM/100MSDCF/DSC00001.ARW";

// Root's commands (mount, debugfs), also for a suite that plays an ordinary user.
std::string shell(const std::string& command) {
    std::string out;
    const int rc = test::runAsRoot(command, &out);
    EXPECT_EQ(rc, 0) << command << ": " << out;
    return out;
}

// Lets every user pass through the folders (made 0700 by mkdtemp) down to path.
void openToAll(const std::string& path) {
    const char* tmp = std::getenv("TMPDIR");
    const std::string base = fs::path(tmp && *tmp ? tmp : "/tmp").lexically_normal().string();
    for (fs::path p = fs::path(path).lexically_normal(); p.string().size() > base.size(); p = p.parent_path()) {
        struct stat st {};
        if (::stat(p.c_str(), &st) == 0) ::chmod(p.c_str(), (st.st_mode & 07777) | 0111);
    }
}

class CardIntegrity : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        std::string reason;
        if (!LoopVolume::available(&reason, LoopVolume::Type::ext4) || !test::ZramVolume::available(&reason)) {
            skipReason = reason;
            return;
        }
        try {
            cardDrive = std::make_unique<test::ZramVolume>(200 << 20);
            backup = std::make_unique<test::ZramVolume>(64 << 20, "B1");
        } catch (const std::exception& e) {
            skipReason = e.what();
        }
    }
    static void TearDownTestSuite() {
        backup.reset();
        cardDrive.reset();
    }
    void SetUp() override {
        if (!skipReason.empty()) GTEST_SKIP() << skipReason;
    }

    // A fresh ext4 card on a drive of its own (nothing between the file system and the device, so
    // even an unprivileged check can tell where its bytes come from).
    static std::unique_ptr<test::ZramVolume> newCard() { return std::make_unique<test::ZramVolume>(24 << 20, "CARD"); }
    // A card mounted through FUSE: an exFAT image on the card's drive.
    static std::unique_ptr<LoopVolume> newFuseCard() {
        return std::make_unique<LoopVolume>(LoopVolume::Type::exfat, 24 << 20, "CARD", "", cardDrive->mountPoint());
    }
    // A small camera card below `root`, copied whole to the backup folder `tag`; returns that folder.
    static std::string cardWithCopy(const std::string& root, const std::string& tag) {
        test::CardOptions o;
        o.pairs = 2;
        o.clips = 1;
        o.photoBytes = 60000;
        o.clipBytes = 200000;
        test::makeCard(root, o);
        const std::string copy = backup->mountPoint() + "/" + tag;
        test::copyTree(root, copy);
        return copy;
    }

    static inline std::string skipReason;
    static inline std::unique_ptr<test::ZramVolume> cardDrive;
    static inline std::unique_ptr<test::ZramVolume> backup;
};

struct Outcome {
    bool safe = false;
    int64_t unreadable = -1;
    std::string headline;
    std::string entries;   // the unreadable entries' paths and reasons, "; " between them
    std::string unlisted;  // the junk folders the contents name as not opened, "; " between them
};

// The check runs in a child process, as user nobody when asked: root reads every folder whatever
// its permission bits say, and may open any file without touching its access time. A suite that
// plays an ordinary user has no rights to drop. The report comes back in its stored form; a check
// that failed as its message.
// `said`: what the check told of the card's access times before it read the card ("expected"
// ahead of the check, then each kind told with the stage it was told at).
std::variant<VerifyReport, std::string> reportInChild(const std::string& card, const std::vector<std::string>& backups,
                                                      bool unprivileged, std::string* said = nullptr) {
    int fds[2];
    if (::pipe(fds) != 0) return std::string("no pipe");
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        std::string out;
        if (unprivileged && ::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)) {
            out = "xcould not drop privileges";
        } else {
            try {
                VerifyRequest request(card, backups);
                request.level = CheckLevel::verified;
                request.requiredCopies = 1;
                Verifier verifier(request);
                std::mutex lock;
                std::string told = std::string(rawValue(Verifier::expectedCardAccessTimes(card))), stage = "none";
                verifier.onProgress = [&](const VerifyProgress& p) {
                    std::lock_guard<std::mutex> hold(lock);
                    stage = std::string(rawValue(p.stage));
                };
                verifier.onCardAccessTimes = [&](CardAccessTimes what) {
                    std::lock_guard<std::mutex> hold(lock);
                    told += " " + std::string(rawValue(what)) + "@" + stage;
                };
                const VerifyReport r = verifier.run();
                out = "r" + told + "\n" + toStoredJson(r);
            } catch (const std::exception& e) {
                out = std::string("x") + e.what();
            }
        }
        size_t done = 0;
        while (done < out.size()) {
            const ssize_t n = ::write(fds[1], out.data() + done, out.size() - done);
            if (n <= 0) ::_exit(1);
            done += static_cast<size_t>(n);
        }
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string text;
    char buf[4096];
    for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;) text.append(buf, static_cast<size_t>(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (text.empty()) return std::string("the child said nothing");
    if (text[0] != 'r') return text.substr(1);
    const size_t line = text.find('\n');
    if (said) *said = text.substr(1, line - 1);
    return fromStoredJson<VerifyReport>(text.substr(line + 1));
}

Outcome checkInChild(const std::string& card, const std::string& backupPath, bool unprivileged) {
    const auto checked = reportInChild(card, {backupPath}, unprivileged);
    if (const auto* failure = std::get_if<std::string>(&checked)) return {false, -1, *failure, "", ""};
    const VerifyReport& r = std::get<VerifyReport>(checked);
    Outcome o{r.safeToFormat, r.cardUnreadable, r.headline(), "", ""};
    for (const UnreadableEntry& e : r.cardUnreadableEntries)
        o.entries += (o.entries.empty() ? "" : "; ") + e.path + ": " + e.reason;
    for (const ContentLine& line : r.contents)
        for (const std::string& folder : line.unlisted) o.unlisted += (o.unlisted.empty() ? "" : "; ") + folder;
    return o;
}

// Files in a folder that could not be listed were never compared: such a card is never safe,
// and its report says how much of it could not be read. A junk folder (a trash, lost+found) holds
// nothing a check needs: one that cannot be listed is only named among the card's contents.
TEST_F(CardIntegrity, CardNotReadWholeIsNeverSafe) {
    const std::string locked = "DCIM/101MSDCF", trash = ".Trash-1000";
    const struct {
        const char* what;
        bool unprivileged;
        // Breaks the card (mounted at mountPoint, below folder `root`), or leaves it whole.
        std::function<void(test::ZramVolume& card, const std::string& root)> damage;
        Outcome expected;
    } rows[] = {
        {"whole card, unprivileged", true, [](test::ZramVolume&, const std::string&) {},
         {true, 0, "Every file is verified on the backup", "", ""}},
        {"trash without permission", true,
         [&](test::ZramVolume&, const std::string& root) { ASSERT_EQ(::chmod((root + "/" + trash).c_str(), 0), 0); },
         {true, 0, "Every file is verified on the backup", "", trash}},
        {"folder without permission", true,
         [&](test::ZramVolume&, const std::string& root) { ASSERT_EQ(::chmod((root + "/" + locked).c_str(), 0), 0); },
         {false, 1, "1 folder or file on the card couldn't be read", locked + ": Permission denied", ""}},
        {"damaged directory block", false,
         [&](test::ZramVolume& card, const std::string&) {
             shell("umount '" + card.mountPoint() + "'");
             shell("debugfs -w -R 'zap_block -f /card/" + locked + " -p 0x55 0' " + card.device());
             shell("mount -t ext4 " + card.device() + " '" + card.mountPoint() + "'");
         },
         {false, 1, "1 folder or file on the card couldn't be read", locked + ": Bad message", ""}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        auto card = newCard();
        const std::string root = *card / "card";
        test::writeFile(root + "/" + locked + "/DSC00101.ARW", test::noise(50000, 101), kTime);
        test::writeFile(root + "/" + trash + "/files/DSC09999.ARW", test::noise(50000, 9999), kTime);
        const std::string copy = cardWithCopy(root, "whole-" + std::to_string(&row - rows));
        openToAll(root);
        openToAll(copy);
        row.damage(*card, root);
        const Outcome o = checkInChild(root, copy, row.unprivileged);
        EXPECT_EQ(o.safe, row.expected.safe);
        EXPECT_EQ(o.unreadable, row.expected.unreadable);
        EXPECT_EQ(o.headline, row.expected.headline);
        EXPECT_EQ(o.entries, row.expected.entries);
        EXPECT_EQ(o.unlisted, row.expected.unlisted);
    }
}

// A card file is what it was when the check ends: a change after its own comparison (here made
// when the last comparison reports) still ends as "changed", never as copied.
TEST_F(CardIntegrity, CardFileChangedAfterItsComparison) {
    const struct {
        const char* what;
        void (*change)(const std::string& path);
    } rows[] = {
        {"untouched", nullptr},
        {"grown", [](const std::string& p) { test::writeFile(p, test::readFile(p) + "more", test::mtimeOf(p)); }},
        {"new modification time", [](const std::string& p) { test::setMtime(p, test::mtimeOf(p) + 1000000000); }},
        {"status change only", [](const std::string& p) { ASSERT_EQ(::chmod(p.c_str(), 0600), 0); }},
        {"replaced by an equal file",
         [](const std::string& p) {
             test::writeFile(p + ".new", test::readFile(p), test::mtimeOf(p));
             fs::rename(p + ".new", p);
         }},
        {"removed", [](const std::string& p) { fs::remove(p); }},
    };
    auto card = newCard();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const std::string root = *card / std::to_string(&row - rows);
        const std::string copy = cardWithCopy(root, "changed-" + std::to_string(&row - rows));
        VerifyRequest request(root, {copy});
        request.level = CheckLevel::verified;
        request.requiredCopies = 1;
        Verifier verifier(request);
        verifier.onProgress = [&](const VerifyProgress& p) {
            if (row.change && p.stage == VerifyProgress::Stage::comparing && p.done == p.total) row.change(root + "/" + kPhoto);
        };
        std::mutex m;
        std::map<std::string, FileStatus> lastWord;
        verifier.onFileResult = [&](const FileResult& f) {
            std::lock_guard<std::mutex> lock(m);
            lastWord[f.relativePath] = f.status;
        };
        const VerifyReport r = verifier.run();
        const FileResult& f = test::fileAt(r, kPhoto);
        const FileStatus expected = row.change ? FileStatus::changed : FileStatus::verified;
        EXPECT_EQ(f.status, expected) << rawValue(f.status);
        EXPECT_EQ(lastWord[kPhoto], expected) << "the result sink hears the final status";
        EXPECT_EQ(f.safeDrives, row.change ? 0 : 1);
        // What was compared is not on the card: no copy of it is proven, nor listed.
        EXPECT_EQ(f.copies.size(), row.change ? 0u : 1u);
        EXPECT_EQ(r.safeToFormat, row.change == nullptr);
    }
}

// The last look also lists the card again: a file that entered it while the check ran (written,
// or moved in from elsewhere on the card) was never compared. One the scope needs makes the card
// not safe and is named as changed; junk and out-of-scope files are listed but block nothing.
TEST_F(CardIntegrity, FileAddedDuringTheCheck) {
    const struct {
        const char* what;
        std::string added;  // below the checked folder; empty: nothing added
        bool moved;         // moved in from outside the checked folder rather than written
        std::optional<FileStatus> status;  // the new file's, none when out of scope or junk
    } rows[] = {
        {"nothing added", "", false, std::nullopt},
        {"photo written", "DCIM/100MSDCF/DSC09001.ARW", false, FileStatus::changed},
        {"photo in a new folder", "DCIM/101MSDCF/DSC09002.ARW", false, FileStatus::changed},
        {"photo moved in", "DCIM/100MSDCF/DSC09003.ARW", true, FileStatus::changed},
        {"sidecar, out of scope", "DCIM/100MSDCF/DSC00001.xmp", false, std::nullopt},
        {"junk", "DCIM/100MSDCF/._DSC00001.ARW", false, std::nullopt},
    };
    auto card = newCard();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const std::string tag = std::to_string(&row - rows);
        const std::string root = *card / ("added-" + tag);
        const std::string copy = cardWithCopy(root, "added-" + tag);
        const std::string outside = *card / ("outside-" + tag + ".ARW");
        if (row.moved) test::writeFile(outside, test::noise(50000, 77), kTime);
        VerifyRequest request(root, {copy});
        request.level = CheckLevel::verified;
        request.requiredCopies = 1;
        Verifier verifier(request);
        verifier.onProgress = [&](const VerifyProgress& p) {
            if (row.added.empty() || p.stage != VerifyProgress::Stage::comparing || p.done != p.total) return;
            if (row.moved) {
                fs::rename(outside, root + "/" + row.added);
            } else {
                test::writeFile(root + "/" + row.added, test::noise(50000, 78), kTime);
            }
        };
        const VerifyReport r = verifier.run();
        EXPECT_EQ(r.safeToFormat, !row.status.has_value()) << r.headline();
        EXPECT_EQ(r.cardUnreadable, 0);
        for (size_t i = 0; i < r.files.size(); ++i) EXPECT_EQ(r.files[i].id, static_cast<int64_t>(i));
        if (row.added.empty() || row.added.find("/._") != std::string::npos) continue;
        const FileResult& f = test::fileAt(r, row.added);
        EXPECT_EQ(f.inScope, row.status.has_value());
        if (!row.status) continue;
        EXPECT_EQ(f.status, *row.status) << rawValue(f.status);
        EXPECT_EQ(f.detail, std::optional<std::string>("Added to the card during the check."));
        EXPECT_EQ(f.safeDrives, 0);
        EXPECT_EQ(fromStoredJson<VerifyReport>(toStoredJson(r)), r);
    }
}

// With strictatime every listing and every read stamps an access time unless asked not to; a
// whole check, from a folder below the card's top, leaves every one as it was.
TEST_F(CardIntegrity, CheckLeavesAccessTimesAlone) {
    auto card = newCard();
    shell("mount -o remount,strictatime '" + card->mountPoint() + "'");
    const std::string root = *card / "card";
    const std::string copy = cardWithCopy(root, "atime");
    const struct timespec old[2] = {{1577836800, 0}, {0, UTIME_OMIT}};
    std::vector<std::string> paths;
    // An ordinary user can neither open nor stamp root's lost+found; the check cannot list it either.
    for (const auto& e : fs::recursive_directory_iterator(card->mountPoint(), fs::directory_options::skip_permission_denied))
        if (::utimensat(AT_FDCWD, e.path().c_str(), old, AT_SYMLINK_NOFOLLOW) == 0 || !test::playsUser())
            paths.push_back(e.path().string());
    paths.push_back(card->mountPoint());
    for (const std::string& p : paths) ASSERT_EQ(::utimensat(AT_FDCWD, p.c_str(), old, AT_SYMLINK_NOFOLLOW), 0) << p;

    const VerifyReport r = test::check(root, {copy}, CheckLevel::verified, 1);
    EXPECT_TRUE(r.safeToFormat) << r.headline();
    for (const std::string& p : paths) {
        struct stat st {};
        ASSERT_EQ(::lstat(p.c_str(), &st), 0) << p;
        EXPECT_EQ(st.st_atim.tv_sec, old[0].tv_sec) << p;
    }
}

// A card mounted read-write through FUSE has its access times kept by its daemon, whatever the
// check asks: the problems say so once, and the verdict does not hang on it.
TEST_F(CardIntegrity, ReadWriteFuseCardIsNamedOnce) {
    std::string reason;
    if (!LoopVolume::available(&reason, LoopVolume::Type::exfat)) GTEST_SKIP() << reason;
    for (const bool fuse : {true, false}) {
        SCOPED_TRACE(fuse ? "exFAT through FUSE" : "ext4");
        std::unique_ptr<LoopVolume> fuseCard = fuse ? newFuseCard() : nullptr;
        std::unique_ptr<test::ZramVolume> kernelCard = fuse ? nullptr : newCard();
        const std::string mountPoint = fuse ? fuseCard->mountPoint() : kernelCard->mountPoint();
        const std::string copy = cardWithCopy(mountPoint, fuse ? "fuse" : "kernel");
        const VerifyReport r = test::check(mountPoint, {copy}, CheckLevel::standard, 1);
        int notes = 0;
        for (const std::string& p : r.problems) {
            if (p.find("read-only") == std::string::npos) continue;
            ++notes;
            EXPECT_NE(p.find("CARD"), std::string::npos) << p;
            EXPECT_NE(p.find("mount -o ro"), std::string::npos) << p;
        }
        EXPECT_EQ(notes, fuse ? 1 : 0);
        EXPECT_EQ(r.cardUnreadable, 0);
        EXPECT_EQ(r.totals.covered(), r.totals.files);
    }
}

// O_NOATIME is the file owner's: an ordinary user checking a card whose files belong to root (an
// ext4 card written elsewhere) reads them without it. Where the mount records access times (relatime,
// the usual default, does on the first read of a day) the reads change them and the report says so
// once, naming the card and the way out; read-only or noatime, every access time stays and nothing
// is said. A folder card of the user's own in root's folders, beside a copy of root's on the same
// file system, is the user's whole: what lies above and beside it is no part of the card.
TEST_F(CardIntegrity, CardOfAnotherUserIsNamedWhereItsAccessTimesChange) {
    const struct {
        const char* what;
        const char* options;
        bool ownCard;  // the card is the checking user's, the folders above it and a copy beside it root's
        bool changes;
    } rows[] = {
        {"relatime", "remount,rw,relatime", false, true},
        {"read-only", "remount,ro", false, false},
        {"noatime", "remount,rw,noatime", false, false},
        {"own card in root's folders", "remount,rw,relatime", true, false},
    };
    constexpr time_t old = 1577836800;
    // The check runs as user nobody where the suite is root.
    const std::string checker = test::playsUser()
                                    ? std::to_string(test::testUid()) + ":" + std::to_string(test::testGid())
                                    : std::string("65534:65534");
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        auto card = newCard();
        const std::string root = *card / "card";
        const std::string copy = cardWithCopy(root, std::string("owner-") + row.what);
        std::vector<std::string> backups{copy};
        if (row.ownCard) {
            // Root's copy on the card's own file system: walked and read as a backup, never the card.
            const std::string beside = *card / "beside";
            test::copyTree(root, beside);
            const std::string quoted = test::shellQuote(beside), top = test::shellQuote(card->mountPoint());
            shell("chown -R 0:0 " + quoted + " && chmod -R a+rX " + quoted + " && touch -a -d @" +
                  std::to_string(old) + " " + quoted + " && chown 0:0 " + top + " && chmod 0755 " + top);
            backups.push_back(beside);
        }
        openToAll(root);
        openToAll(copy);
        // Listed before the access times are set: listing a folder stamps it too.
        std::vector<std::string> paths{root};
        for (const auto& e : fs::recursive_directory_iterator(root)) paths.push_back(e.path().string());
        std::string all;
        for (const std::string& p : paths) all += " " + test::shellQuote(p);
        shell("chown -R " + (row.ownCard ? checker : std::string("0:0")) + all + " && touch -a -h -d @" +
              std::to_string(old) + all);
        shell("mount -o " + std::string(row.options) + " '" + card->mountPoint() + "'");

        std::string said;
        const auto checked = reportInChild(root, backups, true, &said);
        ASSERT_TRUE(std::holds_alternative<VerifyReport>(checked)) << std::get<std::string>(checked);
        const VerifyReport& r = std::get<VerifyReport>(checked);
        EXPECT_TRUE(r.safeToFormat) << r.headline();
        // Known before the check, and told once from its first open of the card on, not with its end.
        EXPECT_EQ(said, row.changes ? "otherOwner otherOwner@scanningSource" : "kept");
        EXPECT_EQ(rawValue(r.cardAccessTimes), rawValue(row.changes ? CardAccessTimes::otherOwner : CardAccessTimes::kept));
        int notes = 0;
        for (const std::string& p : r.problems) {
            if (p.find("access times") == std::string::npos) continue;
            ++notes;
            // A folder card by its own name, as the window names it.
            EXPECT_NE(p.find("Files on card belong to another user"), std::string::npos) << p;
            EXPECT_NE(p.find("mount it read-only (mount -o ro)"), std::string::npos) << p;
        }
        EXPECT_EQ(notes, row.changes ? 1 : 0);
        int changed = 0;
        for (const std::string& p : paths) {
            struct stat st {};
            ASSERT_EQ(::lstat(p.c_str(), &st), 0) << p;
            changed += st.st_atim.tv_sec != old;
        }
        // What the note says is what happened.
        if (row.changes) {
            EXPECT_GT(changed, 0);
        } else {
            EXPECT_EQ(changed, 0);
        }
        if (row.ownCard) {
            // Root's copy beside the card was walked and read, as the check had to.
            struct stat st {};
            ASSERT_EQ(::stat((*card / "beside").c_str(), &st), 0);
            EXPECT_NE(st.st_atim.tv_sec, old);
        }
    }
}

// A name that is not valid UTF-8 opens only by its own bytes: its display form is also the name
// of a decoy beside it, with other content.
TEST_F(CardIntegrity, RawNamesThroughTheWholeCheck) {
    const std::string raw = "DCIM/100MSDCF/IMG\xff.ARW", decoy = "DCIM/100MSDCF/IMG\xef\xbf\xbd.ARW";
    const std::string rawBytes = test::noise(80000, 7), decoyBytes = test::noise(80000, 8);
    const struct {
        const char* what;
        bool copyRaw, copyDecoy;
        FileStatus rawStatus, decoyStatus;
    } rows[] = {
        {"both copied", true, true, FileStatus::verified, FileStatus::verified},
        {"only the decoy copied", false, true, FileStatus::conflict, FileStatus::verified},
        {"only the raw name copied", true, false, FileStatus::verified, FileStatus::conflict},
    };
    auto card = newCard();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const std::string tag = std::to_string(&row - rows);
        const std::string root = *card / tag, copy = backup->mountPoint() + "/raw-" + tag;
        // Not whole seconds nor whole microseconds, as a camera's clock need not be.
        test::writeFile(root + "/" + raw, rawBytes, kTime + 123456789);
        test::writeFile(root + "/" + decoy, decoyBytes, kTime + 123456789);
        fs::create_directories(copy);
        if (row.copyRaw) test::writeFile(copy + "/" + raw, rawBytes, kTime + 123456789);
        if (row.copyDecoy) test::writeFile(copy + "/" + decoy, decoyBytes, kTime + 123456789);

        const VerifyReport r = test::check(root, {copy}, CheckLevel::verified, 1);
        // Both show the same path; the decoy's bytes sort first.
        ASSERT_EQ(r.files.size(), 2u);
        EXPECT_EQ(r.files[0].relativePath, r.files[1].relativePath);
        EXPECT_EQ(r.files[0].status, row.decoyStatus) << rawValue(r.files[0].status);
        EXPECT_EQ(r.files[1].status, row.rawStatus) << rawValue(r.files[1].status);
        EXPECT_EQ(r.safeToFormat, row.copyRaw && row.copyDecoy);
        // The report leads to each file and to each copy by its own bytes.
        EXPECT_EQ(r.files[0].relativePathBytes(), decoy);
        EXPECT_EQ(r.files[1].relativePathBytes(), raw);
        EXPECT_EQ(r.files[1].nameBytes(), "IMG\xff.ARW");
        EXPECT_EQ(test::readFile(r.absolutePath(r.files[0])), decoyBytes);
        EXPECT_EQ(test::readFile(r.absolutePath(r.files[1])), rawBytes);
        for (const FileResult& f : r.files) {
            for (const CopyRef& c : f.copies) EXPECT_EQ(test::readFile(r.absolutePath(c)), test::readFile(r.absolutePath(f)));
        }

        // What the history keeps reads back as the very report.
        const VerifyReport back = fromStoredJson<VerifyReport>(toStoredJson(r));
        EXPECT_TRUE(back == r);
        EXPECT_EQ(back.files, r.files);
        EXPECT_EQ(back.startedAt, r.startedAt);
        EXPECT_EQ(back.finishedAt, r.finishedAt);
    }
}

// Two card folders whose names differ only where one is not UTF-8 show alike but stay two folders,
// each with its own files and its own bytes; so do the folders where their copies landed.
TEST_F(CardIntegrity, RawFolderNamesStayFoldersOfTheirOwn) {
    auto card = newCard();
    const std::string root = *card / "folders", copy = backup->mountPoint() + "/folders";
    const std::string rawFolder = "DCIM/1\xfe", decoyFolder = "DCIM/1\xef\xbf\xbd";
    test::writeFile(root + "/" + rawFolder + "/A.JPG", test::noise(30000, 1), kTime);
    test::writeFile(root + "/" + rawFolder + "/B.JPG", test::noise(30000, 2), kTime);
    test::writeFile(root + "/" + decoyFolder + "/C.JPG", test::noise(30000, 3), kTime);
    test::writeFile(copy + "/Shoot\xfe/A.JPG", test::noise(30000, 1), kTime);
    test::writeFile(copy + "/Shoot\xfe/B.JPG", test::noise(30000, 2), kTime);

    const VerifyReport r = test::check(root, {copy}, CheckLevel::standard, 1);
    std::map<std::string, int64_t> filesByBytes;
    for (const FolderSummary& f : r.folders) filesByBytes[std::string(f.pathBytes())] = f.counts.files;
    EXPECT_EQ(filesByBytes, (std::map<std::string, int64_t>{{"", 3}, {"DCIM", 3}, {rawFolder, 2}, {decoyFolder, 1}}));
    for (const FolderSummary& f : r.folders) {
        EXPECT_EQ(f.path, repairUtf8(f.pathBytes()));
        EXPECT_EQ(f.rawPath.empty(), f.pathBytes() != rawFolder);
    }
    const ShootGroup* shot = nullptr;
    for (const ShootGroup& g : r.groups)
        if (!g.landings.empty()) shot = &g;
    ASSERT_NE(shot, nullptr);
    EXPECT_EQ(shot->landings.front().folderBytes(), "Shoot\xfe");
    EXPECT_EQ(fromStoredJson<VerifyReport>(toStoredJson(r)), r);
}

// Two card folders whose names differ only where one is not UTF-8, and two such names in one
// folder, are neither RAW/JPEG twins nor one shoot: under "RAW only" a look-alike's lone JPEG must
// still be copied, and "into the shoot's folder" never files it where the other folder's shoot
// landed.
TEST_F(CardIntegrity, LookAlikesAreNeitherTwinsNorOneShoot) {
    auto card = newCard();
    const std::string root = *card / "lookalikes", copy = backup->mountPoint() + "/lookalikes";
    const std::string rawFolder = "DCIM/1\xfe", decoyFolder = "DCIM/1\xef\xbf\xbd";
    const std::string lonePhoto = decoyFolder + "/IMG_0001.JPG", loneName = "DCIM/A/N\xef\xbf\xbd.JPG";
    for (const std::string& rel : {rawFolder + "/IMG_0001.CR3", std::string("DCIM/A/N\xff.CR3")}) {
        const std::string bytes = test::noise(40000, static_cast<uint32_t>(rel.size()));
        test::writeFile(root + "/" + rel, bytes, kTime);
        test::writeFile(copy + "/Shoot\xfe/" + rel.substr(rel.rfind('/') + 1), bytes, kTime);
    }
    test::writeFile(root + "/" + lonePhoto, test::noise(20000, 1), kTime);
    test::writeFile(root + "/" + loneName, test::noise(20000, 2), kTime);
    auto fileWithBytes = [](const VerifyReport& r, std::string_view rel) -> const FileResult& {
        for (const FileResult& f : r.files)
            if (f.relativePathBytes() == rel) return f;
        throw std::runtime_error("no such file");
    };

    VerifyRequest request(root, {copy});
    request.requiredCopies = 1;
    request.level = CheckLevel::verified;
    request.scope.photoFormats = PhotoFormats::rawOnly;
    const VerifyReport rawOnly = Verifier(request).run();
    for (const std::string& rel : {lonePhoto, loneName}) {
        SCOPED_TRACE(repairUtf8(rel));
        EXPECT_TRUE(fileWithBytes(rawOnly, rel).inScope);
        EXPECT_EQ(fileWithBytes(rawOnly, rel).status, FileStatus::missing);
    }
    EXPECT_EQ(rawOnly.totals.verified, 2);
    EXPECT_FALSE(rawOnly.safeToFormat);

    request.scope.photoFormats = PhotoFormats::all;
    const VerifyReport all = Verifier(request).run();
    std::map<std::string, std::vector<int64_t>> shoots;  // by folder bytes
    std::set<std::string> ids;
    for (const ShootGroup& g : all.groups) {
        shoots[std::string(g.folderBytes())] = g.fileIDs;
        ids.insert(g.id());
        EXPECT_EQ(g.folder, repairUtf8(g.folderBytes()));
    }
    EXPECT_EQ(shoots, (std::map<std::string, std::vector<int64_t>>{
                          {rawFolder, {fileWithBytes(all, rawFolder + "/IMG_0001.CR3").id}},
                          {decoyFolder, {fileWithBytes(all, lonePhoto).id}},
                          {"DCIM/A", {fileWithBytes(all, "DCIM/A/N\xff.CR3").id, fileWithBytes(all, loneName).id}}}));
    EXPECT_EQ(ids.size(), all.groups.size()) << "two shoots share an id";
    EXPECT_EQ(fromStoredJson<VerifyReport>(toStoredJson(all)), all);

    // The look-alike folder's shoot landed nowhere, so its photo goes where the layout falls back to.
    const CopyPlan plan = CopyPlanner::plan(all, {fileWithBytes(all, lonePhoto).id}, 0, CopyLayout::nextToShoot(), "", "");
    ASSERT_EQ(plan.items.size(), 1u);
    EXPECT_EQ(plan.items[0].name, "IMG_0001.JPG");
    EXPECT_EQ(plan.items[0].destDir.find("Shoot"), std::string::npos) << repairUtf8(plan.items[0].destDir);
}

}  // namespace
}  // namespace halvetrop
