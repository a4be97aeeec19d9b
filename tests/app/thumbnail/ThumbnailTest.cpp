// The thumbnail cache and the helper processes: keys that tell cards apart, the byte bound, the
// right picture of RAW, HEIC and video files from the real helper, and a pool in which a helper
// that crashes, hangs or is stopped for an eject fails one file only, the newest request goes
// first and a request whose tile scrolled away never reaches a helper.
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPointer>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickTextureFactory>
#include <QSignalSpy>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

#include "CardFixtures.h"
#include "thumbnail/Protocol.h"
#include "thumbnail/ThumbnailProvider.h"
#include "thumbnail/Thumbnailer.h"

using namespace halvetrop::thumbs;
namespace test = halvetrop::test;

Q_DECLARE_METATYPE(halvetrop::thumbs::Key)

namespace {

QImage filled(int side, QColor color) {
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(color);
    return image;
}

// Waits for the answer about `key`: the picture, or a null one when the file failed.
QImage answer(Thumbnailer& t, const Key& key) {
    QImage got;
    bool done = false;
    auto a = QObject::connect(&t, &Thumbnailer::ready, [&](const Key& k, const QImage& i) {
        if (k == key) got = i, done = true;
    });
    auto b = QObject::connect(&t, &Thumbnailer::failed, [&](const Key& k) { done = done || k == key; });
    t.request(key);
    QElapsedTimer clock;
    clock.start();
    while (!done && clock.elapsed() < halvetrop::kHangDetectorMs) QTest::qWait(10);
    QObject::disconnect(a);
    QObject::disconnect(b);
    return got;
}

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
    QFile f(dir.filePath(name));
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) return {};
    return f.fileName();
}

Key keyOf(const QString& file) { return Key{"/", file.toStdString(), QFileInfo(file).size(), 1}; }

bool near(QColor a, QColor b) {
    return std::abs(a.red() - b.red()) < 48 && std::abs(a.green() - b.green()) < 48 &&
           std::abs(a.blue() - b.blue()) < 48;
}

// A stand-in helper that speaks the pipe's protocol: it notes every path it is handed, hangs on a
// path with "hang" in it (until a file "go" is put beside its log), dies on one with "crash", and
// answers the others with one pixel, or as failed for "bad"; it says it could not keep the access
// time of a path with "other" in it.
QString standIn(const QTemporaryDir& dir) {
    return writeFile(dir, "helper.py", R"(import os, sys, time
log = open(sys.argv[1], "a", buffering=1)
while True:
    line = sys.stdin.buffer.readline()
    if not line:
        break
    _, rid, side, n = line.split()
    path = sys.stdin.buffer.read(int(n)).decode("utf-8", "replace")
    log.write(path + "\n")
    while "hang" in path and not os.path.exists(os.path.join(os.path.dirname(sys.argv[1]), "go")):
        time.sleep(0.05)
    if "crash" in path:
        os.kill(os.getpid(), 9)
    time.sleep(0.02)
    touched = b" t" if "other" in path else b""
    if "bad" in path:
        sys.stdout.buffer.write(b"F " + rid + touched + b"\n")
    else:
        sys.stdout.buffer.write(b"R " + rid + b" 1 1" + touched + b"\n" + bytes([255, 0, 255, 0]))
    sys.stdout.buffer.flush()
)");
}

QStringList logged(const QTemporaryDir& dir) {
    QFile f(dir.filePath("log"));
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

}  // namespace

class ThumbnailTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { qRegisterMetaType<Key>(); }

    void cacheKeysAndBound() {
        const Key base{"/media/u/CARD", "/media/u/CARD/DCIM/IMG_0001.JPG", 1000, 5};
        const QImage red = filled(100, Qt::red);  // 40,000 bytes
        Cache cache(100'000);
        cache.insert(base, red);
        // Another card in the same place, or the same path rewritten, is another picture.
        for (const Key& other : {Key{"/media/u/CARD2", base.path, 1000, 5},
                                 Key{base.volume, base.path, 1001, 5}, Key{base.volume, base.path, 1000, 6}})
            QVERIFY(!cache.find(other));
        // The first picture of a key stays.
        cache.insert(base, filled(50, Qt::blue));
        QCOMPARE(cache.find(base)->pixelColor(0, 0), QColor(Qt::red));

        const Key second{base.volume, "/b", 1, 1}, third{base.volume, "/c", 1, 1};
        cache.insert(second, red);
        QVERIFY(cache.find(base));  // now the most recent
        cache.insert(third, red);   // over the bound: the least recently used goes
        QCOMPARE(cache.bytes(), int64_t(80'000));
        QVERIFY(cache.find(base) && cache.find(third) && !cache.find(second));
        cache.insert(Key{"/x", "/huge", 1, 1}, filled(200, Qt::red));
        QCOMPARE(cache.count(), size_t(2));

        cache.markFailed(base);
        cache.insert(Key{"/media/u/OTHER", "/d", 1, 1}, filled(10, Qt::red));
        cache.dropVolume(base.volume);
        QCOMPARE(cache.count(), size_t(1));
        QVERIFY(!cache.failed(base));
    }

    void boundHoldsWhileScrolling() {
        Cache cache(int64_t(4) << 20);
        const QImage tile = filled(256, Qt::gray);
        for (int i = 0; i < 5000; ++i) {
            cache.insert(Key{"/v", "/f" + std::to_string(i), i, i}, tile);
            QVERIFY(cache.bytes() <= int64_t(4) << 20);
        }
        QCOMPARE(cache.count(), size_t(16));
    }

    void protocolFrames() {
        const Request r{42, 256, "/media/u/CARD/a b\nc.JPG"};
        const std::string bytes = encode(r) + encode(Request{43, 1, "/x"});
        const auto first = readRequest(bytes);
        QVERIFY(first.state == Read<Request>::State::frame && first.frame == r);
        QCOMPARE(readRequest(std::string_view(bytes).substr(first.used)).frame.id, uint64_t(43));
        const std::string bad[] = {"T 1 0 3\nabc",       "T 1 2048 3\nabc", "T 1 64 0\n",
                                   "T 1 64 5000\n",      "X 1 64 3\nabc",   "T -1 64 3\nabc",
                                   "T 01 64 3\nabc",     "T 1 64 3 \nabc",  std::string("T 1 64 3\na\0c", 12),
                                   std::string(100, '1')};
        for (const std::string& b : bad)
            QVERIFY2(readRequest(b).state == Read<Request>::State::error, b.c_str());
        QVERIFY(readRequest("T 1 64 10\nabc").state == Read<Request>::State::needMore);
        QVERIFY(readReply("R 1 2 2\nabc").state == Read<Reply>::State::needMore);
        QVERIFY(readReply("R 1 2000 2\n").state == Read<Reply>::State::error);
        // A reply says whether the helper could keep the file's access time, and a video's
        // picture the range of its samples; it reads back whole.
        for (const bool ok : {true, false})
            for (const bool touched : {true, false})
                for (const VideoRange range : {VideoRange::unknown, VideoRange::limited, VideoRange::full}) {
                    const Reply reply{7,
                                      ok,
                                      ok ? 1 : 0,
                                      ok ? 1 : 0,
                                      ok ? std::string(4, 'x') : std::string(),
                                      touched,
                                      ok ? range : VideoRange::unknown};
                    const std::string encoded = encode(reply);
                    QCOMPARE(encoded.find(" t\n") != std::string::npos, touched);
                    const auto back = readReply(encoded);
                    QVERIFY(back.state == Read<Reply>::State::frame && back.used == encoded.size());
                    QCOMPARE(back.frame.ok, ok);
                    QCOMPARE(back.frame.accessTimeTouched, touched);
                    QVERIFY(back.frame.range == reply.range);
                }
        for (const char* b : {"R 1 2 t\n", "F t\n", "F 1 t t\n", "R 1 1 1 x\n", "F 1 T\n", "F 1 f\n",
                              "R 1 1 1 t f\n", "R 1 1 1 f f\n"})
            QVERIFY2(readReply(b).state == Read<Reply>::State::error, b);
    }

    void urlsReachTheRightFile() {
        // Bytes that are not UTF-8, characters that are (é, U+FFFD), markup, a line break, slashes
        // and percent signs come back whole, also from the id the engine makes of the URL.
        for (const char* path : {"/media/u/NO NAME/DCIM/<b>a\xff\n%2F.JPG",
                                 "/media/u/NO NAME/Caf\xc3\xa9/IMG_\xef\xbf\xbd"
                                 "1.JPG"}) {
            const Key key{"/media/u/NO NAME", path, -1, 1'700'000'000'000'000'000};
            const QString url = thumbnailUrl(key);
            QVERIFY(url.startsWith(QStringLiteral("image://thumbnail/")));
            QCOMPARE(keyOfId(url.mid(18)), std::optional<Key>(key));
            QCOMPARE(keyOfId(QUrl(url).toString(QUrl::RemoveScheme | QUrl::RemoveAuthority).mid(1)),
                     std::optional<Key>(key));
        }
        for (const char* bad : {"a/1/2", "a/x/2/p", "a/1/2/", "a/1/2/p/q"})
            QVERIFY(!keyOfId(QString::fromLatin1(bad)));
    }

    void cardSwapWithTheSamePaths() {
        QTemporaryDir dir;
        const QString file = dir.filePath("DSC0001.JPG");
        Thumbnailer t(
            {QStringLiteral(HALVETROP_THUMBNAILER), {}, halvetrop::kHangDetectorMs, 64, int64_t(1) << 20});
        QVERIFY(filled(300, Qt::red).save(file, "PNG"));
        const Key first{"/media/u/CARD", file.toStdString(), QFileInfo(file).size(), 1};
        const QImage a = answer(t, first);
        QCOMPARE(a.width(), 64);
        QVERIFY(qRed(a.pixel(10, 10)) > 200);
        // The next card: same mount point and path, another file.
        QVERIFY(QFile::remove(file));
        QVERIFY(filled(200, Qt::blue).save(file, "PNG"));
        const Key second{"/media/u/CARD", file.toStdString(), QFileInfo(file).size(), 2};
        const QImage b = answer(t, second);
        QVERIFY(!b.isNull());
        QVERIFY(qBlue(b.pixel(10, 10)) > 200 && qRed(b.pixel(10, 10)) < 50);
        // A file no reader takes fails, and is remembered as failed.
        QFile junk(dir.filePath("X.JPG"));
        QVERIFY(junk.open(QIODevice::WriteOnly) && junk.write("\xff\xd8\xff garbage") > 0);
        junk.close();
        const Key bad{"/media/u/CARD", junk.fileName().toStdString(), 12, 1};
        QVERIFY(answer(t, bad).isNull());
        QVERIFY(t.cache().failed(bad));
        QCOMPARE(t.restarts(), 0);
    }

    // A failure the file is to blame for (a crash on it, nonsense about it) is remembered; one of
    // time (a hang, past a deadline short enough to see it) or of a missing helper is not.
    void crashingAndHangingHelpers_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("deadlineMs");
        QTest::addColumn<bool>("remembered");
        const int whole = halvetrop::kHangDetectorMs;
        QTest::newRow("crashes") << QStringLiteral("/bin/sh") << QStringList{"-c", "kill -SEGV $$"} << whole
                                 << true;
        QTest::newRow("hangs") << QStringLiteral("/bin/sleep") << QStringList{"60"} << 300 << false;
        QTest::newRow("answers nonsense")
            << QStringLiteral("/bin/sh") << QStringList{"-c", "echo 'R 1 9999 1'; sleep 60"} << whole << true;
        QTest::newRow("missing") << QStringLiteral("/nonexistent/helper") << QStringList{} << whole << false;
    }
    void crashingAndHangingHelpers() {
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        QFETCH(int, deadlineMs);
        QFETCH(bool, remembered);
        Thumbnailer t({program, arguments, deadlineMs, 64, 1 << 20});
        QSignalSpy failed(&t, &Thumbnailer::failed), missing(&t, &Thumbnailer::helperMissing);
        const Key a{"/v", "/a", 1, 1}, b{"/v", "/b", 1, 1};
        t.request(a);
        t.request(b);
        // Each file fails on its own, within the deadline, and a new helper takes the next.
        QTRY_COMPARE(failed.count(), 2);
        QCOMPARE(failed.at(0).at(0).value<Key>(), a);
        QCOMPARE(t.restarts(), 2);
        // A missing helper is said once, however many files it fails.
        QCOMPARE(missing.count(), program.startsWith("/nonexistent") ? 1 : 0);
        QCOMPARE(t.cache().failed(a), remembered);
    }

    // A file that ran out of time on a busy machine (a large HEIF past the deadline) shows its
    // picture when it is asked for again on a quiet one; a file without a picture is not asked
    // of a helper again.
    void aFileThatRanOutOfTimeIsTriedAgain() {
        QTemporaryDir dir;
        Thumbnailer t({"python3", {standIn(dir), dir.filePath("log")}, 300, 64, 1 << 20, 1});
        const Key slow{"/v", "/v/hang", 1, 1}, bad{"/v", "/v/bad", 1, 1};
        QVERIFY(answer(t, slow).isNull());
        writeFile(dir, "go", {});
        t.setDeadline(halvetrop::kHangDetectorMs);
        QVERIFY(!answer(t, slow).isNull());
        for (int ask = 0; ask < 2; ++ask) QVERIFY(answer(t, bad).isNull());
        QCOMPARE(logged(dir).count("/v/bad"), 1);
    }

    // A RAW file shows its largest embedded preview at the tile's size (a smaller one as it is),
    // wherever the camera put it and whatever the container (TIFF, RAF, CR3, of cameras the RAW
    // library may not know); never its first image when that is sensor data or a tiny picture. A
    // plain TIFF shows its own picture when that is large enough.
    void rawFilesShowTheirPreview_data() {
        using test::RawSpec;
        using Where = RawSpec::Where;
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QSize>("size");  // empty: no picture
        QTest::addColumn<QColor>("color");
        const QSize tile(264, 198);
        QTest::newRow("sensor data, preview in a SubIFD")
            << "A.DNG" << test::rawFile(RawSpec{}) << tile << QColor(Qt::green);
        QTest::newRow("tiny picture, preview in IFD1")
            << "A.ARW" << test::rawFile(RawSpec{{16, 12}, false, Qt::red, 1, Where::ifd1}) << tile
            << QColor(Qt::green);
        RawSpec nikon{{16, 12}, false, Qt::red, 1, Where::nikonMakerNote};
        nikon.smallThumbnail = true;
        QTest::newRow("preview in the maker note beside a small thumbnail")
            << "A.NEF" << test::rawFile(nikon) << tile << QColor(Qt::green);
        RawSpec turned;
        turned.orientation = 6;
        QTest::newRow("taken upright")
            << "B.DNG" << test::rawFile(turned) << QSize(198, 264) << QColor(Qt::green);
        RawSpec loop;
        loop.smallThumbnail = loop.chainLoops = true;
        QTest::newRow("IFD chain that loops") << "C.DNG" << test::rawFile(loop) << tile << QColor(Qt::green);
        RawSpec cut;
        cut.previewCutShort = true;
        QTest::newRow("preview running past the end") << "D.DNG" << test::rawFile(cut) << QSize() << QColor();
        QTest::newRow("sensor data only")
            << "E.DNG" << test::rawFile(RawSpec{{64, 48}, true, Qt::red, 1, Where::none}) << QSize()
            << QColor();
        QTest::newRow("plain TIFF picture")
            << "A.TIF" << test::rawFile(RawSpec{{600, 400}, false, Qt::red, 1, Where::none})
            << QSize(264, 176) << QColor(Qt::red);
        QTest::newRow("plain TIFF, tiny picture, larger preview")
            << "B.TIF" << test::rawFile(RawSpec{{16, 12}, false, Qt::red, 1, Where::ifd1}) << tile
            << QColor(Qt::green);
        QTest::newRow("RAF, a preview smaller than the tile")
            << "A.RAF" << test::rafFile({160, 120}, Qt::green) << QSize(160, 120) << QColor(Qt::green);
        QTest::newRow("RAF without a preview") << "C.RAF" << test::rafFile({}, {}) << QSize() << QColor();
        QTest::newRow("CR3, the preview over the thumbnail")
            << "A.CR3" << test::cr3File(true, {640, 480}, Qt::green) << QSize(264, 198) << QColor(Qt::green);
        QTest::newRow("CR3, the thumbnail alone")
            << "B.CR3" << test::cr3File(true, {}, {}) << QSize(160, 120) << QColor(Qt::red);
        QTest::newRow("CR3 taken upright") << "C.CR3" << test::cr3File(false, {640, 480}, Qt::green, 6)
                                           << QSize(198, 264) << QColor(Qt::green);
        QTest::newRow("CR3 without a picture")
            << "D.CR3" << test::cr3File(false, {}, {}) << QSize() << QColor();
    }
    void rawFilesShowTheirPreview() {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QSize, size);
        QFETCH(QColor, color);
        QTemporaryDir dir;
        const QString file = writeFile(dir, name, bytes);
        Thumbnailer t(
            {QStringLiteral(HALVETROP_THUMBNAILER), {}, halvetrop::kHangDetectorMs, 264, int64_t(8) << 20});
        const QImage image = answer(t, keyOf(file));
        QCOMPARE(image.isNull(), !size.isValid());
        if (size.isValid()) QCOMPARE(image.size(), size);
        if (size.isValid())
            QVERIFY2(near(image.pixelColor(image.width() / 2, image.height() / 2), color),
                     qPrintable(image.pixelColor(image.width() / 2, image.height() / 2).name()));
    }

    // HEIC pictures through libheif and videos through libavformat, both fed from the helper's one
    // descriptor of the file. A video's picture keeps the range of its samples, as the video says
    // it (nothing when it does not).
    void heicAndVideo_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("matrix");
        QTest::addColumn<bool>("fullRange");
        QTest::addColumn<QString>("range");
        using Matrix = test::VideoColour::Matrix;
        QTest::newRow("HEIC") << "IMG_0001.HEIC" << int(Matrix::unset) << false << "";
        QTest::newRow("MP4") << "C0001.MP4" << int(Matrix::unset) << false << "";
        QTest::newRow("MOV") << "MVI_0001.MOV" << int(Matrix::unset) << false << "";
        QTest::newRow("MP4, BT.709 limited") << "C0002.MP4" << int(Matrix::bt709) << false << "limited";
        QTest::newRow("MP4, BT.601 full") << "C0003.MP4" << int(Matrix::bt601) << true << "full";
        QTest::newRow("MOV, BT.709 full") << "MVI_0002.MOV" << int(Matrix::bt709) << true << "full";
    }
    void heicAndVideo() {
        QFETCH(QString, name);
        QFETCH(int, matrix);
        QFETCH(bool, fullRange);
        QFETCH(QString, range);
        QTemporaryDir dir;
        QString why;
        const QColor blue(40, 60, 220);
        if (name.endsWith("HEIC")) {
            const QByteArray heic = test::heicOf({320, 240}, blue, &why);
            if (heic.isEmpty()) QSKIP(qPrintable(why));
            writeFile(dir, name, heic);
        } else if (!test::writeVideo(dir.filePath(name), {320, 240}, blue, 1.0, &why,
                                     {test::VideoColour::Matrix(matrix), fullRange})) {
            QSKIP(qPrintable(why));
        }
        Thumbnailer t(
            {QStringLiteral(HALVETROP_THUMBNAILER), {}, halvetrop::kHangDetectorMs, 264, int64_t(8) << 20});
        const QImage image = answer(t, keyOf(dir.filePath(name)));
        QVERIFY(!image.isNull());
        QVERIFY(std::max(image.width(), image.height()) <= 264);
        QVERIFY2(near(image.pixelColor(image.width() / 2, image.height() / 2), blue),
                 qPrintable(image.pixelColor(image.width() / 2, image.height() / 2).name()));
        QCOMPARE(image.text(QString::fromLatin1(videoRangeText)), range);
    }

    // A helper that could not keep a file's access time says so with its answer, picture or none,
    // and the pool tells it of that file alone.
    void accessTimesTheHelperCouldNotKeepAreTold() {
        QTemporaryDir dir;
        Thumbnailer t(
            {"python3", {standIn(dir), dir.filePath("log")}, halvetrop::kHangDetectorMs, 64, 1 << 20, 1});
        QSignalSpy touched(&t, &Thumbnailer::accessTimeTouched);
        const Key mine{"/v", "/v/mine", 1, 1}, other{"/v", "/v/other", 1, 1},
            otherBad{"/v", "/v/other-bad", 1, 1};
        QVERIFY(!answer(t, mine).isNull());
        QVERIFY(!answer(t, other).isNull());
        QVERIFY(answer(t, otherBad).isNull());
        QCOMPARE(touched.count(), 2);
        QCOMPARE(touched.at(0).at(0).value<Key>(), other);
        QCOMPARE(touched.at(1).at(0).value<Key>(), otherBad);
        QCOMPARE(t.restarts(), 0);
    }

    // With three helpers, one hung and one crashed, the other files are all answered while the
    // hung one is still waited for.
    void aHungAndACrashedHelperHoldNothingBack() {
        QTemporaryDir dir;
        Thumbnailer t(
            {"python3", {standIn(dir), dir.filePath("log")}, halvetrop::kHangDetectorMs, 64, 1 << 20, 3});
        QSignalSpy ready(&t, &Thumbnailer::ready), failed(&t, &Thumbnailer::failed);
        t.request(Key{"/v", "/v/hang", 1, 1});
        t.request(Key{"/v", "/v/crash", 1, 1});
        for (int i = 0; i < 8; ++i) t.request(Key{"/v", "/v/f" + std::to_string(i), 1, 1});
        // Every other picture is made while the hung helper is still waited for: it held none back.
        QTRY_COMPARE(ready.count(), 8);
        QTRY_COMPARE(failed.count(), 1);  // the crash, told as its helper's end is read
        QCOMPARE(failed.at(0).at(0).value<Key>().path, std::string("/v/crash"));
        QCOMPARE(t.restarts(), 1);
    }

    // Tiles asked for through the image provider and then scrolled away (their responses
    // cancelled) never reach a helper; of the rest, the newest goes first.
    void scrolledAwayRequestsNeverReachAHelper() {
        QTemporaryDir dir;
        Thumbnailer t(
            {"python3", {standIn(dir), dir.filePath("log")}, halvetrop::kHangDetectorMs, 64, 1 << 20, 1});
        ThumbnailProvider provider(t);
        t.request(Key{"/v", "/v/hang", 1, 1});  // holds the only helper meanwhile
        std::vector<QPointer<QQuickImageResponse>> responses;
        QSignalSpy* done[10];
        std::vector<std::unique_ptr<QSignalSpy>> spies;
        for (int i = 0; i < 10; ++i) {
            const Key key{"/v", "/v/tile" + std::to_string(i), 1, 1};
            responses.emplace_back(provider.requestImageResponse(thumbnailUrl(key).mid(18), QSize(64, 64)));
            spies.push_back(
                std::make_unique<QSignalSpy>(responses.back().data(), &QQuickImageResponse::finished));
            done[i] = spies.back().get();
        }
        QTRY_COMPARE(t.queued(), size_t(10));
        for (int i = 0; i < 8; ++i) responses[size_t(i)]->cancel();
        // A cancelled response still finishes, so the engine can let it go.
        for (int i = 0; i < 8; ++i) QTRY_COMPARE(done[i]->count(), 1);
        QCOMPARE(t.queued(), size_t(2));
        writeFile(dir, "go", {});  // the hung file is answered, and the helper takes the next
        QTRY_COMPARE(done[9]->count(), 1);
        QTRY_COMPARE(done[8]->count(), 1);
        QCOMPARE(logged(dir), (QStringList{"/v/hang", "/v/tile9", "/v/tile8"}));
        std::unique_ptr<QQuickTextureFactory> picture(responses[9]->textureFactory());
        QVERIFY(picture && picture->image().size() == QSize(1, 1));
        for (auto& r : responses) delete r.data();
    }

    // The engine's image reader gets each answer once, on its own thread: many pictures at once,
    // ids that are answered at once, sources changed while they load; an engine dropped while its
    // pictures load, once the items its views let go of are gone, and another engine in its place.
    void theEnginesReaderGetsEachPictureOnce() {
        QTemporaryDir dir;
        Thumbnailer t(
            {QStringLiteral(HALVETROP_THUMBNAILER), {}, halvetrop::kHangDetectorMs, 64, int64_t(1) << 20, 2});
        // A helper that answers nothing: its pictures are still loading when their engine goes.
        Thumbnailer stalled({QStringLiteral("/bin/sleep"), {"600"}, 600000, 64, 1 << 20, 1});
        QStringList files;
        for (int i = 0; i < 24; ++i) {
            files << dir.filePath(QStringLiteral("P%1.PNG").arg(i));
            QVERIFY(filled(80, Qt::green).save(files.back(), "PNG"));
        }
        // Each round's own URLs: the engines share the pictures they have loaded.
        const auto sourcesOf = [&](int round) {
            QStringList sources;
            for (const QString& file : files)
                sources << thumbnailUrl(Key{"/v", file.toStdString(), QFileInfo(file).size(), round});
            for (int i = 0; i < 200; ++i)
                sources << QStringLiteral("image://thumbnail/a/%1/%2").arg(round).arg(i);
            return sources;
        };
        const QByteArray qml =
            "import QtQuick\nItem { id: root; property var sources: []; property int wide: 0; "
            "property int settled: 0\n Repeater { model: root.sources; Image { source: modelData\n"
            "  onStatusChanged: if (status !== Image.Loading) { ++root.settled; "
            "if (implicitWidth === 64) ++root.wide } } } }";
        // Each engine where the last one was: a picture the last one's reader still had would be
        // taken back through the new one.
        std::optional<QQmlEngine> engine;
        for (const int round : {1, 2, 3}) {
            const bool waited = round != 2;
            const QStringList sources = sourcesOf(round);
            engine.emplace();
            engine->addImageProvider(QStringLiteral("thumbnail"),
                                     new ThumbnailProvider(waited ? t : stalled));
            QQmlComponent component(&*engine);
            component.setData(qml, QUrl());
            std::unique_ptr<QObject> root(component.createWithInitialProperties({{"sources", sources}}));
            QVERIFY2(root, qPrintable(component.errorString()));
            if (waited) {
                QTRY_COMPARE(root->property("settled").toInt(), int(sources.size()));
                QCOMPARE(root->property("wide").toInt(), 24);
                continue;
            }
            // Half the pictures give way to others while they load (the reader has handed every
            // file's to the helper, which holds one and queues the rest), and at once the items
            // and the engine go: the ones given way wait for the event loop to be deleted.
            QTRY_COMPARE(stalled.queued(), size_t(23));
            QList<QPointer<QQuickItem>> pictures;
            for (QQuickItem* item : qobject_cast<QQuickItem*>(root.get())->childItems())
                if (item->inherits("QQuickImage")) pictures << item;
            QCOMPARE(pictures.size(), sources.size());
            root->setProperty("sources", QStringList(sources.mid(12)) + sources.mid(0, 12));
            root.reset();
            deleteReleasedItems();
            QVERIFY(std::none_of(pictures.begin(), pictures.end(), [](const auto& p) { return bool(p); }));
        }
        engine.reset();
        QTest::qWait(200);  // what the engines left behind is answered into nothing
    }

    void ejectStopsTheVolumesJobs() {
        Thumbnailer t({QStringLiteral("/bin/sleep"), {"60"}, 300, 64, 1 << 20});
        QSignalSpy failed(&t, &Thumbnailer::failed);
        const Key a{"/media/u/CARD", "/media/u/CARD/a", 1, 1}, c{"/other", "/other/c", 1, 1};
        t.request(a);
        t.request(Key{"/media/u/CARD", "/media/u/CARD/b", 1, 1});
        t.request(c);
        t.cancelVolume("/media/u/CARD");
        // The card's files are neither failed nor pending; the other volume's file goes on (and
        // fails here, on its own deadline).
        QTRY_COMPARE(failed.count(), 1);
        QCOMPARE(failed.at(0).at(0).value<Key>(), c);
        QVERIFY(!t.cache().failed(a));
    }

    // A still preview belongs to the volume its file lies on whatever bytes its name holds, so
    // an eject of that volume stops it too.
    void ejectStopsAPreviewOfAnyName_data() {
        QTest::addColumn<QByteArray>("name");
        QTest::newRow("text") << QByteArray("IMG_0001.JPG");
        QTest::newRow("not UTF-8") << QByteArray(
            "IMG_\xff"
            "0001.JPG");
    }
    void ejectStopsAPreviewOfAnyName() {
        QFETCH(QByteArray, name);
        QTemporaryDir dir;
        const QByteArray path = QFile::encodeName(dir.path()) + '/' + name;
        std::FILE* file = std::fopen(path.constData(), "w");
        QVERIFY(file);
        std::fclose(file);
        Thumbnailer t({QStringLiteral("/bin/sleep"), {"60"}, 300, 64, 1 << 20});
        QSignalSpy failed(&t, &Thumbnailer::failed);
        std::unique_ptr<ThumbnailProvider> provider(ThumbnailProvider::previews(t));
        std::unique_ptr<QQuickImageResponse> response(
            provider->requestImageResponse(QString::fromLatin1(path.toPercentEncoding()), QSize()));
        // The response asks on the thumbnailer's thread: asked there, the file is at the helper.
        QCoreApplication::sendPostedEvents(&t, QEvent::MetaCall);
        QCOMPARE(t.queued(), size_t(0));
        t.cancelVolume(QStorageInfo(dir.path()).rootPath().toStdString());
        // A file of another volume asked now fails on its own deadline, after the preview's would
        // have passed.
        const Key other{"/other", "/other/c", 1, 1};
        t.request(other);
        QTRY_COMPARE(failed.count(), 1);
        QCOMPARE(failed.at(0).at(0).value<Key>(), other);
    }
};

QTEST_MAIN(ThumbnailTest)
#include "ThumbnailTest.moc"
