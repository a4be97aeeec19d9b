#include "walk/BulkWalker.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <future>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <thread>
#include <tuple>
#include <unistd.h>

namespace halvetrop {
namespace {

using test::TempDir;
using test::runShell;

// What an outside tool and the walker must agree on for one object.
struct Seen {
    char type;  // 'f' file, 'l' link, 'd' directory
    std::int64_t size;
    std::int64_t modifiedNS;
    std::uint64_t inode;
    std::uint64_t device;
    bool operator==(const Seen&) const = default;
};
std::ostream& operator<<(std::ostream& o, const Seen& s) {
    return o << s.type << " size=" << s.size << " mtime=" << s.modifiedNS << " ino=" << s.inode << " dev=" << s.device;
}

std::map<std::string, Seen> fromWalk(const WalkResult& r) {
    std::map<std::string, Seen> out;
    for (std::size_t i = 1; i < r.directories.size(); ++i) {
        const WalkDirectory& d = r.directories[i];
        out[d.relativePath] = Seen{'d', 0, d.modifiedNS, d.fileID, d.device};
    }
    for (const WalkEntry& e : r.entries) {
        out[r.relativePath(e)] = Seen{e.kind == WalkEntry::Kind::file ? 'f' : 'l', e.size, e.modifiedNS, e.fileID, e.device};
    }
    return out;
}

std::string quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::int64_t parseTimeNS(const std::string& text) {
    std::size_t dot = text.find('.');
    std::int64_t sec = std::stoll(text.substr(0, dot));
    std::string frac = dot == std::string::npos ? "" : text.substr(dot + 1);
    frac.resize(9, '0');
    return sec * 1000000000 + std::stoll(frac);
}

// Lists the tree with an outside tool ("find" or "bfs"), pruning the skip names and mount points
// the way the walker's defaults do. Fields are NUL-separated so any name byte survives.
std::map<std::string, Seen> fromTool(const std::string& tool, const std::string& root) {
    std::string prune;
    for (const std::string& n : defaultWalkSkipNames()) prune += (prune.empty() ? "" : " -o ") + std::string("-name ") + quote(n);
    std::string cmd = tool + " " + quote(root) + " -mindepth 1 -xdev \\( " + prune +
                      " \\) -prune -o \\( -type f -o -type l -o -type d \\) -printf '%y\\t%s\\t%T@\\t%i\\t%D\\t%P\\0'";
    std::string out;
    EXPECT_EQ(runShell(cmd, &out), 0) << cmd;
    std::map<std::string, Seen> seen;
    std::size_t pos = 0;
    while (pos < out.size()) {
        std::size_t end = out.find('\0', pos);
        if (end == std::string::npos) end = out.size();
        std::string rec = out.substr(pos, end - pos);
        pos = end + 1;
        std::string f[6];
        std::size_t at = 0;
        for (int i = 0; i < 5; ++i) {
            std::size_t tab = rec.find('\t', at);
            f[i] = rec.substr(at, tab - at);
            at = tab + 1;
        }
        f[5] = rec.substr(at);
        Seen s{f[0][0], f[0][0] == 'f' ? std::stoll(f[1]) : 0, parseTimeNS(f[2]), std::stoull(f[3]), std::stoull(f[4])};
        seen[f[5]] = s;
    }
    return seen;
}

// A tree with more than 20,000 entries: nested folders, skip-name folders at depth, a file named
// like a skipped folder, symbolic links, names that are not UTF-8, and one folder whose listing
// is larger than a getdents64 buffer of the default size.
class GeneratedTree : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        tree = new TempDir("walktree");
        const std::string& r = tree->path();
        std::string script = "set -e; cd " + quote(r) + "\n" + R"SH(
for a in $(seq 1 20); do
  for b in $(seq 1 10); do
    d="shoot $a/day.$b/clips"
    mkdir -p "$d"
    for c in $(seq 1 72); do printf '%0*d' $(((a*b+c) % 97)) 0 > "$d/DSC$c.ARW"; done
    : > "shoot $a/day.$b/notes.txt"
  done
done
mkdir -p big
cd big
seq -f 'a-rather-long-file-name-to-fill-the-buffer-%06g.jpg' 1 6000 | xargs touch
cd ..
mkdir -p "shoot 3/day.2/.Trashes/inner" "shoot 5/System Volume Information" '$RECYCLE.BIN' deep/a/b/c/d/e/f
touch "shoot 3/day.2/.Trashes/inner/gone.jpg" "shoot 5/System Volume Information/gone" '$RECYCLE.BIN/x'
touch deep/a/b/c/d/e/f/leaf.CR3 deep/.Spotlight-V100 deep/.trashes
ln -s ../big deep/link-to-big
ln -s /nonexistent deep/dangling
printf 'x' > "$(printf 'deep/bad\377\376name.jpg')"
mkdir "$(printf 'deep/dir\351')"
printf 'yy' > "$(printf 'deep/dir\351/inside.JPG')"
mkdir -p Clips.bundle DCIM .hidden
)SH";
        std::string out;
        ASSERT_EQ(runShell("bash -c " + quote(script) + " 2>&1", &out), 0) << out;
    }
    static void TearDownTestSuite() {
        delete tree;
        tree = nullptr;
    }
    static TempDir* tree;
};
TempDir* GeneratedTree::tree = nullptr;

TEST_F(GeneratedTree, AgreesWithFindAndBfsUnderEveryOption) {
    struct Case {
        const char* what;
        std::int64_t workers;
        std::int64_t buffer;
    };
    const Case cases[] = {
        {"defaults", 4, 262144},
        {"one worker", 1, 262144},
        {"zero workers count as one", 0, 262144},
        {"negative workers count as one", -3, 262144},
        {"eight workers, small buffer", 8, 4096},
        {"buffer below a page", 2, 100},
    };
    std::map<std::string, Seen> oracle = fromTool("find", tree->path());
    ASSERT_GE(oracle.size(), 20000u);
    if (runShell("command -v bfs >/dev/null") == 0) {
        EXPECT_EQ(fromTool("bfs", tree->path()), oracle) << "find and bfs disagree";
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        BulkWalker::Options o;
        o.maxConcurrency = c.workers;
        o.bufferSize = c.buffer;
        BulkWalker w(o);
        WalkResult r = w.walk(tree->path());
        EXPECT_TRUE(r.errors.empty()) << r.errors.front().path << " " << r.errors.front().errorNumber;
        std::map<std::string, Seen> got = fromWalk(r);
        ASSERT_EQ(got.size(), oracle.size());
        for (const auto& [path, seen] : oracle) {
            auto it = got.find(path);
            ASSERT_NE(it, got.end()) << "walker missed " << path;
            EXPECT_EQ(it->second, seen) << path;
        }
    }
}

TEST_F(GeneratedTree, IndexLinksAndDirectoryRecordsHold) {
    BulkWalker w;
    WalkResult r = w.walk(tree->path());
    ASSERT_FALSE(r.directories.empty());
    EXPECT_EQ(r.directories[0].parent, -1);
    EXPECT_EQ(r.directories[0].relativePath, "");
    EXPECT_FALSE(r.directories[0].isPackageCandidate);
    struct stat rootSt {};
    ASSERT_EQ(::stat(tree->path().c_str(), &rootSt), 0);
    EXPECT_EQ(r.directories[0].fileID, rootSt.st_ino);
    EXPECT_EQ(r.directories[0].device, rootSt.st_dev);

    std::map<std::string, const WalkDirectory*> byPath;
    for (std::size_t i = 0; i < r.directories.size(); ++i) {
        const WalkDirectory& d = r.directories[i];
        byPath[d.relativePath] = &d;
        if (i == 0) continue;
        ASSERT_GE(d.parent, 0);
        ASSERT_LT(static_cast<std::size_t>(d.parent), i) << "a directory is published after its parent";
        const std::string& parentPath = r.directories[static_cast<std::size_t>(d.parent)].relativePath;
        EXPECT_EQ(d.relativePath.rfind(parentPath.empty() ? "" : parentPath + "/", 0), 0u) << d.relativePath;
    }
    for (const WalkEntry& e : r.entries) {
        ASSERT_GE(e.parent, 0);
        ASSERT_LT(static_cast<std::size_t>(e.parent), r.directories.size());
        EXPECT_FALSE(e.isDataless());
    }
    const struct {
        const char* path;
        bool package;
    } packages[] = {{"Clips.bundle", true}, {"DCIM", false}, {".hidden", true}, {"shoot 1/day.1", true}, {"shoot 1", false}};
    for (const auto& p : packages) {
        ASSERT_TRUE(byPath.count(p.path)) << p.path;
        EXPECT_EQ(byPath[p.path]->isPackageCandidate, p.package) << p.path;
    }
}

TEST_F(GeneratedTree, NamesStayRawAndRepairOnlyForDisplay) {
    BulkWalker w;
    WalkResult r = w.walk(tree->path());
    const WalkEntry* bad = nullptr;
    const WalkEntry* inside = nullptr;
    const WalkEntry* link = nullptr;
    const WalkEntry* dangling = nullptr;
    for (const WalkEntry& e : r.entries) {
        if (r.name(e) == "bad\xff\xfename.jpg") bad = &e;
        if (r.name(e) == "inside.JPG") inside = &e;
        if (r.name(e) == "link-to-big") link = &e;
        if (r.name(e) == "dangling") dangling = &e;
    }
    ASSERT_NE(bad, nullptr);
    EXPECT_EQ(r.displayName(*bad), "bad\xEF\xBF\xBD\xEF\xBF\xBDname.jpg");
    EXPECT_EQ(bad->size, 1);
    // The raw bytes open the file again: the entry is read as itself.
    std::ifstream in(r.fullPath(*bad), std::ios::binary);
    ASSERT_TRUE(in.good());
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "x");

    ASSERT_NE(inside, nullptr);
    EXPECT_EQ(r.relativePath(*inside), "deep/dir\xe9/inside.JPG");
    EXPECT_EQ(r.displayRelativePath(*inside), "deep/dir\xEF\xBF\xBD/inside.JPG");
    EXPECT_EQ(inside->size, 2);

    for (const WalkEntry* l : {link, dangling}) {
        ASSERT_NE(l, nullptr);
        EXPECT_EQ(l->kind, WalkEntry::Kind::symlink);
        EXPECT_EQ(l->size, 0);
        EXPECT_EQ(l->allocatedSize, 0);
    }
    for (const WalkDirectory& d : r.directories) {
        EXPECT_EQ(d.relativePath.find("link-to-big"), std::string::npos) << "a link was followed";
        EXPECT_EQ(d.relativePath.find(".Trashes"), std::string::npos);
        EXPECT_EQ(d.relativePath.find("System Volume Information"), std::string::npos);
    }
    std::set<std::string> deepNames;
    for (const WalkEntry& e : r.entries) {
        if (r.directories[static_cast<std::size_t>(e.parent)].relativePath == "deep") deepNames.insert(std::string(r.name(e)));
    }
    EXPECT_TRUE(deepNames.count(".trashes")) << "other case is not a skip name";
    EXPECT_FALSE(deepNames.count(".Spotlight-V100")) << "a file with a skip name is skipped too";
}

TEST(BulkWalker, EmptyRootHasOnlyItself) {
    TempDir t("walkempty");
    BulkWalker w;
    WalkResult r = w.walk(t.path());
    ASSERT_EQ(r.directories.size(), 1u);
    EXPECT_TRUE(r.entries.empty());
    EXPECT_TRUE(r.errors.empty());
    EXPECT_EQ(r.root, t.path());
}

TEST(BulkWalker, RootsThatAreNotPlainFolders) {
    TempDir t("walkroots");
    t.write("file.jpg", "abc");
    t.write("real/inner/a.jpg", "a");
    ASSERT_EQ(::symlink((t / "real").c_str(), (t / "link").c_str()), 0);
    ASSERT_EQ(::symlink((t / "missing").c_str(), (t / "dangling").c_str()), 0);

    // A file: the root is examined, cannot be listed, and that is the walk's one error.
    {
        BulkWalker w;
        WalkResult r = w.walk(t / "file.jpg");
        ASSERT_EQ(r.directories.size(), 1u);
        EXPECT_TRUE(r.entries.empty());
        ASSERT_EQ(r.errors.size(), 1u);
        EXPECT_EQ(r.errors[0].path, t / "file.jpg");
        EXPECT_EQ(r.errors[0].errorNumber, ENOTDIR);
    }
    // Missing, and a link to nothing: no result at all.
    for (const std::string& root : {t / "missing", t / "dangling"}) {
        BulkWalker w;
        try {
            w.walk(root);
            ADD_FAILURE() << root << " walked";
        } catch (const BulkWalkerError& e) {
            EXPECT_EQ(e.kind(), BulkWalkerError::Kind::cannotOpenRoot);
            EXPECT_EQ(e.errorNumber(), ENOENT);
        }
    }
    // A link to a folder is walked as that folder, and keeps the given text for display.
    {
        BulkWalker w;
        WalkResult r = w.walk(t / "link");
        EXPECT_EQ(r.root, t / "link");
        char* real = ::realpath((t / "real").c_str(), nullptr);
        EXPECT_EQ(r.resolvedRoot, std::string(real));
        std::free(real);
        ASSERT_EQ(r.entries.size(), 1u);
        EXPECT_EQ(r.relativePath(r.entries[0]), "inner/a.jpg");
        EXPECT_EQ(r.directories.size(), 2u);
    }
}

TEST(BulkWalker, CancelBeforeWalkThrowsAfterTheRootCheck) {
    TempDir t("walkcancel");
    t.write("a/b.jpg", "x");
    {
        BulkWalker w;
        w.cancel();
        try {
            w.walk(t.path());
            ADD_FAILURE() << "walked although cancelled";
        } catch (const BulkWalkerError& e) {
            EXPECT_EQ(e.kind(), BulkWalkerError::Kind::cancelled);
        }
    }
    {
        BulkWalker w;
        w.cancel();
        try {
            w.walk(t / "not-there");
            ADD_FAILURE() << "walked although missing";
        } catch (const BulkWalkerError& e) {
            EXPECT_EQ(e.kind(), BulkWalkerError::Kind::cannotOpenRoot);
        }
    }
}

// Lets a test hold the walk inside a system call and fail chosen calls.
class ScriptedSys : public Sys {
public:
    std::function<void()> onFirstGetdents;
    std::string failOpenAt;      // openat of this relative path fails with EACCES
    std::string failStatxName;   // statx of this name fails with EIO
    std::string goneStatxName;   // statx of this name fails with ENOENT...
    bool goneForReal = false;    // ...after removing the file
    int getdentsEintrs = 0;      // the first N getdents64 calls fail with EINTR
    std::string failGetdentsDir; // relative path whose second getdents64 fails with EIO
    bool refuseNoatime = false;  // EPERM on opens with O_NOATIME, as for another user's folders
    std::optional<unsigned long> mountFlags;  // what fstatvfs says of the mount
    std::atomic<int> getdentsCalls{0};
    std::atomic<int> opensWithoutNoatime{0};

    int open(const char* path, int flags, mode_t mode) override {
        if (refuseNoatime && (flags & O_NOATIME)) return errno = EPERM, -1;
        if (!(flags & O_NOATIME)) ++opensWithoutNoatime;
        return Sys::open(path, flags, mode);
    }
    int openat(int dirfd, const char* path, int flags, mode_t mode) override {
        if (!failOpenAt.empty() && failOpenAt == path) {
            errno = EACCES;
            return -1;
        }
        if (refuseNoatime && (flags & O_NOATIME)) return errno = EPERM, -1;
        if (!(flags & O_NOATIME)) ++opensWithoutNoatime;
        int fd = Sys::openat(dirfd, path, flags, mode);
        if (fd >= 0 && failGetdentsDir == path) {
            std::lock_guard<std::mutex> l(m);
            watched[fd] = 0;
        }
        return fd;
    }
    int close(int fd) override {
        {
            std::lock_guard<std::mutex> l(m);
            watched.erase(fd);
        }
        return Sys::close(fd);
    }
    ssize_t getdents64(int fd, void* buf, size_t count) override {
        if (getdentsCalls.fetch_add(1) == 0 && onFirstGetdents) onFirstGetdents();
        {
            std::lock_guard<std::mutex> l(m);
            if (eintrsLeft < getdentsEintrs) {
                ++eintrsLeft;
                errno = EINTR;
                return -1;
            }
            auto it = watched.find(fd);
            if (it != watched.end() && ++it->second == 2) {
                errno = EIO;
                return -1;
            }
        }
        return Sys::getdents64(fd, buf, count);
    }
    int statx(int dirfd, const char* path, int flags, unsigned mask, struct statx* out) override {
        if (!failStatxName.empty() && failStatxName == path) {
            errno = EIO;
            return -1;
        }
        if (!goneStatxName.empty() && goneStatxName == path) {
            if (goneForReal) ::unlinkat(dirfd, path, 0);
            errno = ENOENT;
            return -1;
        }
        return Sys::statx(dirfd, path, flags, mask, out);
    }
    int fstatvfs(int fd, struct statvfs* out) override {
        const int rc = Sys::fstatvfs(fd, out);
        if (rc == 0 && mountFlags) out->f_flag = *mountFlags;
        return rc;
    }

private:
    std::mutex m;
    std::map<int, int> watched;
    int eintrsLeft = 0;
};

TEST(BulkWalker, CancelFromAnotherThreadDuringTheWalk) {
    TempDir t("walkcancel2");
    for (int i = 0; i < 50; ++i) {
        std::string dir = std::to_string(i);  // GCC 12 misreads "literal" + to_string as overlapping copies
        t.write("d" + dir + "/f.jpg", "x");
    }
    ScriptedSys sys;
    std::promise<void> cancelled;
    std::shared_future<void> done = cancelled.get_future().share();
    BulkWalker* walker = nullptr;
    std::thread other;
    // The first listing waits until another thread has cancelled, so the cancel lands mid-walk.
    sys.onFirstGetdents = [&] {
        other = std::thread([&] {
            walker->cancel();
            cancelled.set_value();
        });
        done.wait();
    };
    BulkWalker w(BulkWalker::Options(), sys);
    walker = &w;
    try {
        w.walk(t.path());
        ADD_FAILURE() << "a cancelled walk returned a result";
    } catch (const BulkWalkerError& e) {
        EXPECT_EQ(e.kind(), BulkWalkerError::Kind::cancelled);
    }
    other.join();
    // Cancellation is for good: a later walk is refused too.
    EXPECT_THROW(w.walk(t.path()), BulkWalkerError);
}

TEST(BulkWalker, TroubleBelowTheRootIsCollectedPerPath) {
    TempDir t("walkerrors");
    t.write("locked/secret.jpg", "x");
    t.write("ok/a.jpg", "a");
    t.write("ok/broken.jpg", "b");
    t.write("half/x.jpg", "x");
    for (int i = 0; i < 400; ++i) t.write("half/file-with-a-long-enough-name-" + std::to_string(i) + ".jpg", "");

    ScriptedSys sys;
    sys.failOpenAt = "locked";
    sys.failStatxName = "broken.jpg";
    sys.getdentsEintrs = 3;
    sys.failGetdentsDir = "half";
    BulkWalker::Options o;
    o.bufferSize = 4096;  // several batches in "half", so the failure comes after some entries
    BulkWalker w(o, sys);
    WalkResult r = w.walk(t.path());

    std::map<std::string, int> errors;
    std::set<std::string> folders;  // the folders that could not be opened or listed
    for (const WalkError& e : r.errors) {
        EXPECT_EQ(errors.count(e.path), 0u) << "reported twice: " << e.path;
        errors[e.path] = e.errorNumber;
        if (e.folder) folders.insert(e.path);
    }
    EXPECT_EQ(errors, (std::map<std::string, int>{{t / "locked", EACCES}, {t / "ok/broken.jpg", EIO}, {t / "half", EIO}}));
    EXPECT_EQ(folders, (std::set<std::string>{t / "locked", t / "half"}));

    std::set<std::string> dirs, files;
    for (const WalkDirectory& d : r.directories) dirs.insert(d.relativePath);
    for (const WalkEntry& e : r.entries) files.insert(r.relativePath(e));
    EXPECT_TRUE(dirs.count("locked")) << "an unreadable folder is still seen in its parent";
    EXPECT_FALSE(files.count("locked/secret.jpg"));
    EXPECT_TRUE(files.count("ok/a.jpg"));
    EXPECT_FALSE(files.count("ok/broken.jpg"));
    std::size_t half = 0;
    for (const std::string& f : files) half += f.rfind("half/", 0) == 0;
    EXPECT_GT(half, 0u) << "entries of the batches before the failure stay";
    EXPECT_LT(half, 401u);
}

// Folders of another user refuse O_NOATIME: they are listed all the same, and the result counts
// them where the mount records access times of folders.
TEST(BulkWalker, FoldersOfAnotherUserAreListedAndCounted) {
    TempDir t("walknoatime");
    t.write("DCIM/100TEST/a.jpg", "a");
    t.write("DCIM/101TEST/b.jpg", "b");
    t.write("MISC/c.txt", "c");
    const struct {
        const char* what;
        bool refused;
        std::optional<unsigned long> mountFlags;
        bool counted;
    } rows[] = {
        {"owner", false, ST_RELATIME, false},
        {"another user, relatime", true, ST_RELATIME, true},
        {"another user, strictatime", true, 0ul, true},
        {"another user, nodiratime", true, ST_NODIRATIME | ST_RELATIME, false},
        {"another user, read-only", true, ST_RDONLY, false},
    };
    std::set<std::string> expected;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        ScriptedSys sys;
        sys.refuseNoatime = row.refused;
        sys.mountFlags = row.mountFlags;
        const WalkResult r = BulkWalker(BulkWalker::Options(), sys).walk(t.path());
        std::set<std::string> files;
        for (const WalkEntry& e : r.entries) files.insert(r.relativePath(e));
        if (expected.empty()) expected = files;
        EXPECT_EQ(files, expected);
        EXPECT_EQ(files.size(), 3u);
        EXPECT_TRUE(r.errors.empty());
        EXPECT_EQ(sys.opensWithoutNoatime.load() > 0, row.refused);
        // Every folder listed (root, DCIM, its two, MISC), each noted once; the root's own
        // descriptor, through which nothing is listed, counts too.
        EXPECT_EQ(r.accessTimesTouched, row.counted ? 6 : 0);
    }
}

// A file removed between its listing and its status call is not trouble; a status call that says
// "no such file" of a name the folder still lists is, or a card would be called read whole.
TEST(BulkWalker, NoSuchFileIsTroubleUnlessASecondListingAgrees) {
    for (const bool gone : {true, false}) {
        SCOPED_TRACE(gone ? "vanished" : "still listed");
        TempDir t("walkgone");
        t.write("DCIM/a.jpg", "a");
        t.write("DCIM/b.jpg", "b");
        ScriptedSys sys;
        sys.goneStatxName = "b.jpg";
        sys.goneForReal = gone;
        WalkResult r = BulkWalker(BulkWalker::Options(), sys).walk(t.path());
        std::set<std::string> files;
        for (const WalkEntry& e : r.entries) files.insert(r.relativePath(e));
        EXPECT_EQ(files, std::set<std::string>{"DCIM/a.jpg"});
        std::vector<std::pair<std::string, int>> errors;
        for (const WalkError& e : r.errors) errors.emplace_back(e.path, e.errorNumber);
        if (gone) {
            EXPECT_TRUE(errors.empty());
        } else {
            EXPECT_EQ(errors, (std::vector<std::pair<std::string, int>>{{t / "DCIM/b.jpg", ENOENT}}));
        }
    }
}

TEST(BulkWalker, FoldersDeeperThanPathMaxAreListed) {
    TempDir t("walkdeep");
    const std::string component(200, 'd');
    int fd = ::open(t.path().c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    const int depth = 30;  // 30 * 201 bytes: well past PATH_MAX below the root
    for (int i = 0; i < depth; ++i) {
        ASSERT_EQ(::mkdirat(fd, component.c_str(), 0755), 0);
        int next = ::openat(fd, component.c_str(), O_RDONLY | O_DIRECTORY);
        ::close(fd);
        ASSERT_GE(next, 0);
        fd = next;
    }
    int file = ::openat(fd, "leaf.jpg", O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(file, 0);
    ASSERT_EQ(::write(file, "abc", 3), 3);
    ::close(file);
    ::close(fd);

    BulkWalker w;
    WalkResult r = w.walk(t.path());
    EXPECT_TRUE(r.errors.empty()) << r.errors.front().errorNumber;
    EXPECT_EQ(r.directories.size(), static_cast<std::size_t>(depth + 1));
    ASSERT_EQ(r.entries.size(), 1u);
    EXPECT_EQ(r.name(r.entries[0]), "leaf.jpg");
    EXPECT_EQ(r.entries[0].size, 3);
    EXPECT_GT(r.relativePath(r.entries[0]).size(), static_cast<std::size_t>(PATH_MAX));
    // TempDir removes with paths; take the deep part down from the inside first.
    ASSERT_EQ(test::runShell("cd '" + t.path() + "' && rm -rf " + component), 0);
}

TEST(WalkEntryKind, RawValues) {
    WalkEntry::Kind k;
    const std::pair<std::uint8_t, bool> cases[] = {{0, true}, {1, true}, {2, true}, {3, true}, {4, false}, {255, false}};
    for (auto [raw, ok] : cases) {
        EXPECT_EQ(walkEntryKindFromRaw(raw, &k), ok) << int(raw);
        if (ok) {
            EXPECT_EQ(static_cast<std::uint8_t>(k), raw);
        }
    }
}

TEST(BulkWalkerOptions, Defaults) {
    BulkWalker::Options o;
    EXPECT_EQ(o.maxConcurrency, 4);
    EXPECT_FALSE(o.crossMountPoints);
    EXPECT_EQ(o.bufferSize, 262144);
    EXPECT_EQ(o.skipNames, (std::set<std::string>{".fseventsd", ".Spotlight-V100", ".Trashes", ".TemporaryItems",
                                                   ".DocumentRevisions-V100", "System Volume Information", "$RECYCLE.BIN"}));
}

}  // namespace
}  // namespace halvetrop
