// halvetrop-bench recheck [--files N] [--runs R] [--dir DIR] [--keep]: the memory of checking the
// same card again and again in one application model. A card of N small files (default 100,000,
// 2-6 KB each, in folders of 999) and two exact backups are written below DIR (default /dev/shm),
// then the real model checks the card R times (default 3), each check followed by the byte-by-byte
// pass the model starts by itself. Prints one JSON line:
//   core_peak_mb: the peak resident size (MiB) of the core's own byte-by-byte check of the card in a
//     child process that holds nothing else;
//   peak_mb: per check of the model, the peak resident size from the check's start until its pass
//     has ended (the kernel's high-water mark, reset before each check);
//   resident_mb: per check, the resident size once the pass has ended and the model is idle;
//   third_vs_first: the last check's peak over the first's.
// The trees are removed afterwards unless --keep is given (then their place goes to stderr). With
// --runs 0 only the trees are written, and kept, for another benchmark.
#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "BenchUtil.h"
#include "model/AppModel.h"
#include "platform/LinuxServices.h"
#include "verify/Verifier.h"

namespace {

using namespace halvetrop;

double residentMiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::strtod(line.c_str() + 6, nullptr) / 1024.0;
    }
    return 0;
}

bool writeFile(const std::string& path, const std::string& body, timespec mtime) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    bool ok = ::write(fd, body.data(), body.size()) == static_cast<ssize_t>(body.size());
    const timespec times[2] = {mtime, mtime};
    ok = ::futimens(fd, times) == 0 && ok;
    return ::close(fd) == 0 && ok;
}

// The card as a camera writes it (RAW and JPEG pairs in numbered folders), each file written to
// both backups with its modification time.
bool writeTrees(const std::string& card, const std::vector<std::string>& backups, long long files) {
    std::mt19937_64 gen(7);
    std::string body;
    for (long long i = 0; i < files; ++i) {
        const long long shot = i / 2;
        char folder[32], name[32];
        std::snprintf(folder, sizeof folder, "DCIM/%lldMSDCF", 100 + shot / 999);
        std::snprintf(name, sizeof name, "DSC%05lld.%s", shot % 99999 + 1, i % 2 ? "JPG" : "ARW");
        body.resize(2000 + gen() % 4000);
        for (char& c : body) c = static_cast<char>(gen());
        const timespec mtime{1714737600 + static_cast<time_t>(shot) * 7, 0};
        for (const std::string& root : [&] {
                 std::vector<std::string> all{card};
                 all.insert(all.end(), backups.begin(), backups.end());
                 return all;
             }()) {
            const std::string dir = root + "/" + folder;
            if (i % 1998 == 0) std::filesystem::create_directories(dir);
            if (!writeFile(dir + "/" + name, body, mtime)) return false;
        }
    }
    return true;
}

// The core's byte-by-byte check in a child process, before this one holds anything else.
double corePeakInChild(const std::string& card, const std::vector<std::string>& backups) {
    int fds[2];
    if (::pipe(fds) != 0) return -1;
    const pid_t child = ::fork();
    if (child < 0) return -1;
    if (child == 0) {
        ::close(fds[0]);
        double peak = -1;
        try {
            VerifyRequest request(card, backups);
            request.level = CheckLevel::verified;
            Verifier verifier(request);
            const VerifyReport report = verifier.run();
            if (report.totals.covered() == report.totals.files) peak = bench::highWaterMiB();
        } catch (const VerifyError& e) {
            std::fprintf(stderr, "%s\n", e.description().c_str());
        }
        const bool ok = ::write(fds[1], &peak, sizeof peak) == static_cast<ssize_t>(sizeof peak);
        ::_exit(ok ? 0 : 1);
    }
    ::close(fds[1]);
    double peak = -1;
    if (::read(fds[0], &peak, sizeof peak) != static_cast<ssize_t>(sizeof peak)) peak = -1;
    ::close(fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return peak;
}

// One check of the chosen card and the pass it starts, until both have ended.
bool checkOnce(AppModel& model) {
    bool passBegun = false, passEnded = false;
    QObject context;
    QObject::connect(&model, &AppModel::deepVerifyingChanged, &context, [&] {
        if (model.deepVerifying()) passBegun = true;
        else if (passBegun) passEnded = true;
    });
    model.check(std::optional<CheckLevel>(CheckLevel::standard));
    if (model.phase() != AppModel::Phase::Checking) return false;
    while (!passEnded && model.phase() != AppModel::Phase::Failed)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    model.waitForIdle(60000);
    return passEnded && model.phase() == AppModel::Phase::Results;
}

std::string list(const std::vector<double>& values) {
    std::string out = "[";
    for (size_t i = 0; i < values.size(); ++i) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%s%.1f", i ? "," : "", values[i]);
        out += buf;
    }
    return out + "]";
}

}  // namespace

int bench_recheck(int argc, char** argv) {
    long long files = 100'000;
    int runs = 3;
    std::string base = "/dev/shm";
    bool keep = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--files") == 0 && i + 1 < argc) {
            files = std::max(std::atoll(argv[++i]), 2LL);
        } else if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
            runs = std::max(std::atoi(argv[++i]), 0);
        } else if (std::strcmp(argv[i], "--dir") == 0 && i + 1 < argc) {
            base = argv[++i];
        } else if (std::strcmp(argv[i], "--keep") == 0) {
            keep = true;
        } else {
            std::fprintf(stderr, "usage: halvetrop-bench recheck [--files N] [--runs R] [--dir DIR] [--keep]\n");
            return 2;
        }
    }
    QTemporaryDir trees(QString::fromStdString(base + "/halvetrop-recheck-XXXXXX"));
    if (!trees.isValid()) {
        std::fprintf(stderr, "cannot make a folder below %s\n", base.c_str());
        return 1;
    }
    keep = keep || runs == 0;
    trees.setAutoRemove(!keep);
    const std::string root = trees.path().toStdString();
    const std::string card = root + "/card";
    const std::vector<std::string> backups{root + "/a/Shoots", root + "/b/Archive"};
    if (!writeTrees(card, backups, files)) {
        std::fprintf(stderr, "cannot write the card below %s\n", root.c_str());
        return 1;
    }
    if (keep) std::fprintf(stderr, "trees in %s\n", root.c_str());
    if (runs == 0) return 0;
    malloc_trim(0);
    const double corePeak = corePeakInChild(card, backups);
    if (corePeak < 0) {
        std::fprintf(stderr, "the core's check failed\n");
        return 1;
    }

    // As the application does, after the core's check, which runs as the bench's own does.
    setUpAllocator();
    int qargc = 1;
    QCoreApplication app(qargc, argv);
    QTemporaryDir state;
    AppModelDeps deps;
    deps.settingsPath = state.filePath(QStringLiteral("settings.ini"));
    deps.historyPath = state.filePath(QStringLiteral("history.json"));
    deps.platform.bookmarks = std::make_unique<VolumeBookmarks>();
    std::vector<double> peaks, resident;
    {
        AppModel model(std::move(deps));
        while (!model.historyLoaded()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        model.setSource(card);
        model.addBackups(backups);
        model.waitForIdle(60000);
        for (int run = 0; run < runs; ++run) {
            const bool reset = bench::resetHighWater();
            if (!checkOnce(model)) {
                std::fprintf(stderr, "check %d did not end with the pass's result: %s\n", run + 1,
                             qPrintable(model.failureText()));
                return 1;
            }
            if (model.fileCount() != files) {
                std::fprintf(stderr, "check %d shows %d files\n", run + 1, model.fileCount());
                return 1;
            }
            peaks.push_back(reset ? bench::highWaterMiB() : bench::peakRssMiB());
            resident.push_back(residentMiB());
        }
        model.shutdown();
    }

    std::printf(
        "{\"files\":%lld,\"core_peak_mb\":%.1f,\"peak_mb\":%s,\"resident_mb\":%s,\"third_vs_first\":%.2f,"
        "\"peak_vs_core\":%.2f}\n",
        files, corePeak, list(peaks).c_str(), list(resident).c_str(), peaks.back() / peaks.front(),
        *std::max_element(peaks.begin(), peaks.end()) / corePeak);
    return 0;
}
