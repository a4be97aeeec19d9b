// halvetrop-bench thumbnails DIR [--size PX] [--helpers N] [--visible N] [--helper PATH]:
// thumbnails every file under DIR through the pool of helper processes, as the grid asks for them
// (at PX pixels, default 264: a 132-point tile at twice the pixels). Prints one JSON line:
//   files, seconds (first request to last answer), ms_per_file, failed, min_long_side and
//   median_long_side (of the pictures made), helpers, cache_mb against cache_bound_mb;
//   with --visible N, also visible_seconds: on a fresh pool, every file is asked for in order (a
//   scroll through the grid) and all but the last N are withdrawn at once (a jump to the end);
//   the time until those N are answered.
// halvetrop-bench make-photos DIR [--count N] [--megapixels M]: writes N JPEGs (default 200) of
//   M megapixels (default 24, 3:2) with a camera picture's detail and sensor noise, seeded by
//   their number, so that every run writes the same files.
#include <QCoreApplication>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "thumbnail/Thumbnailer.h"

using halvetrop::thumbs::Key;
using halvetrop::thumbs::Thumbnailer;

namespace {

std::vector<Key> filesUnder(const QString& dir) {
    std::vector<Key> keys;
    QDirIterator it(dir, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        keys.push_back(Key{dir.toStdString(), it.filePath().toStdString(), it.fileInfo().size(),
                           it.fileInfo().lastModified().toMSecsSinceEpoch()});
    }
    std::sort(keys.begin(), keys.end(), [](const Key& a, const Key& b) { return a.path < b.path; });
    return keys;
}

// Runs the event loop until `done` holds or a minute passes.
template <class Done>
bool runUntil(Done done) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < 60'000) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    return done();
}

double visibleSeconds(Thumbnailer::Options options, const std::vector<Key>& keys, size_t visible) {
    Thumbnailer t(std::move(options));
    const size_t from = keys.size() - std::min(visible, keys.size());
    size_t answered = 0;
    auto count = [&](const Key& k) {
        for (size_t i = from; i < keys.size(); ++i)
            if (keys[i] == k) ++answered;
    };
    QObject::connect(&t, &Thumbnailer::ready, [&](const Key& k, const QImage&) { count(k); });
    QObject::connect(&t, &Thumbnailer::failed, [&](const Key& k) { count(k); });
    QElapsedTimer clock;
    clock.start();
    for (const Key& k : keys) t.request(k);
    for (size_t i = 0; i < from; ++i) t.withdraw(keys[i]);
    runUntil([&] { return answered >= keys.size() - from; });
    return double(clock.nsecsElapsed()) / 1e9;
}

int usage() {
    std::fprintf(stderr,
                 "usage: halvetrop-bench thumbnails DIR [--size PX] [--helpers N] [--visible N] [--helper PATH]\n");
    return 2;
}

}  // namespace

int bench_thumbnails(int argc, char** argv) {
    if (argc < 2) return usage();
    int size = 264, helpers = Thumbnailer::helpersFor(QThread::idealThreadCount());
    long visible = -1;
    QString helper = QStringLiteral(HALVETROP_THUMBNAILER);
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--size") == 0 && i + 1 < argc)
            size = std::clamp(std::atoi(argv[++i]), 1, 1024);
        else if (std::strcmp(argv[i], "--helpers") == 0 && i + 1 < argc)
            helpers = std::max(std::atoi(argv[++i]), 1);
        else if (std::strcmp(argv[i], "--visible") == 0 && i + 1 < argc)
            visible = std::max(std::atol(argv[++i]), 1L);
        else if (std::strcmp(argv[i], "--helper") == 0 && i + 1 < argc)
            helper = QString::fromLocal8Bit(argv[++i]);
        else
            return usage();
    }
    int qtArgc = 1;
    QCoreApplication app(qtArgc, argv);
    const std::vector<Key> keys = filesUnder(QString::fromLocal8Bit(argv[1]));
    if (keys.empty()) {
        std::fprintf(stderr, "no files under %s\n", argv[1]);
        return 1;
    }
    const int64_t bound = int64_t(256) << 20;
    const Thumbnailer::Options options{helper, {}, 5000, size, bound, helpers};
    const double jump = visible > 0 ? visibleSeconds(options, keys, size_t(visible)) : 0;

    Thumbnailer t(options);
    std::vector<int> sides;
    size_t failed = 0;
    QObject::connect(&t, &Thumbnailer::ready,
                     [&](const Key&, const QImage& image) { sides.push_back(std::max(image.width(), image.height())); });
    QObject::connect(&t, &Thumbnailer::failed, [&](const Key&) { ++failed; });
    QElapsedTimer clock;
    clock.start();
    for (const Key& k : keys) t.request(k);
    if (!runUntil([&] { return sides.size() + failed >= keys.size(); })) return 1;
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    std::sort(sides.begin(), sides.end());
    std::printf("{\"files\":%zu,\"seconds\":%.3f,\"ms_per_file\":%.2f,\"failed\":%zu,\"min_long_side\":%d,"
                "\"median_long_side\":%d,\"helpers\":%d,\"cache_mb\":%.1f,\"cache_bound_mb\":%.1f",
                keys.size(), seconds, seconds * 1000 / double(keys.size()), failed, sides.empty() ? 0 : sides.front(),
                sides.empty() ? 0 : sides[sides.size() / 2], helpers, double(t.cache().bytes()) / (1 << 20),
                double(bound) / (1 << 20));
    if (visible > 0) std::printf(",\"visible\":%ld,\"visible_seconds\":%.3f", visible, jump);
    std::printf("}\n");
    return 0;
}

int bench_make_photos(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: halvetrop-bench make-photos DIR [--count N] [--megapixels M]\n");
        return 2;
    }
    int count = 200;
    double megapixels = 24;
    for (int i = 2; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--count") == 0) count = std::max(std::atoi(argv[i + 1]), 1);
        if (std::strcmp(argv[i], "--megapixels") == 0) megapixels = std::clamp(std::atof(argv[i + 1]), 0.1, 100.0);
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(dir)) return 1;
    const int width = int(std::sqrt(megapixels * 1e6 * 1.5)), height = width * 2 / 3;
    std::atomic<int> next{0}, failures{0};
    auto work = [&] {
        for (int n = next++; n < count; n = next++) {
            std::mt19937 rng(uint32_t(n) + 1);
            QImage image(width, height, QImage::Format_RGB32);
            // Broad light, a scene of shapes, and the sensor's noise that every camera picture has.
            const double phase = double(rng() % 1000) / 100;
            for (int y = 0; y < height; ++y) {
                auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
                for (int x = 0; x < width; ++x) {
                    const int noise = int(rng() % 17) - 8;
                    const int shade = int(40 * std::sin(x * 0.004 + phase) * std::cos(y * 0.005));
                    line[x] = qRgb(std::clamp(x * 200 / width + shade + noise + 20, 0, 255),
                                   std::clamp(y * 180 / height + noise + 30, 0, 255),
                                   std::clamp(120 - shade + noise, 0, 255));
                }
            }
            QPainter painter(&image);
            painter.setRenderHint(QPainter::Antialiasing);
            for (int i = 0; i < 400; ++i) {
                painter.setPen(QColor::fromRgb(rng() % 256, rng() % 256, rng() % 256));
                painter.setBrush(QColor::fromRgb(rng() % 256, rng() % 256, rng() % 256, 160));
                painter.drawEllipse(int(rng() % uint32_t(width)), int(rng() % uint32_t(height)), int(rng() % 700),
                                    int(rng() % 700));
            }
            painter.end();
            const QString name = QStringLiteral("%1/DSC%2.JPG").arg(dir).arg(n + 1, 5, 10, QLatin1Char('0'));
            if (!image.save(name, "JPEG", 92)) ++failures;
        }
    };
    std::vector<std::thread> threads;
    for (unsigned i = 0; i < std::max(1u, std::thread::hardware_concurrency()); ++i) threads.emplace_back(work);
    for (auto& t : threads) t.join();
    std::printf("{\"files\":%d,\"width\":%d,\"height\":%d,\"failed\":%d}\n", count, width, height, failures.load());
    return failures ? 1 : 0;
}
