// The thumbnail cache and the helper process: keys that tell cards apart, the byte bound, and a
// helper that crashes, hangs or is stopped for an eject failing one file only.
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>

#include "thumbnail/Protocol.h"
#include "thumbnail/Thumbnailer.h"

using namespace halvetrop::thumbs;

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
    while (!done && clock.elapsed() < 10000) QTest::qWait(10);
    QObject::disconnect(a);
    QObject::disconnect(b);
    return got;
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
    }

    void urlsReachTheRightFile() {
        // Bytes that are not UTF-8, markup, a line break, slashes and percent signs come back whole.
        const Key key{"/media/u/NO NAME", "/media/u/NO NAME/DCIM/<b>a\xff\n%2F.JPG", -1,
                      1'700'000'000'000'000'000};
        const QString url = thumbnailUrl(key);
        QVERIFY(url.startsWith(QStringLiteral("image://thumbnail/")));
        QCOMPARE(keyOfId(url.mid(18)), std::optional<Key>(key));
        for (const char* bad : {"a/1/2", "a/x/2/p", "a/1/2/", "a/1/2/p/q"})
            QVERIFY(!keyOfId(QString::fromLatin1(bad)));
    }

    void cardSwapWithTheSamePaths() {
        QTemporaryDir dir;
        const QString file = dir.filePath("DSC0001.JPG");
        Thumbnailer t({QStringLiteral(HALVETROP_THUMBNAILER), {}, 5000, 64, int64_t(1) << 20});
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

    void crashingAndHangingHelpers_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("crashes") << QStringLiteral("/bin/sh") << QStringList{"-c", "kill -SEGV $$"};
        QTest::newRow("hangs") << QStringLiteral("/bin/sleep") << QStringList{"60"};
        QTest::newRow("answers nonsense")
            << QStringLiteral("/bin/sh") << QStringList{"-c", "echo 'R 1 9999 1'; sleep 60"};
        QTest::newRow("missing") << QStringLiteral("/nonexistent/helper") << QStringList{};
    }
    void crashingAndHangingHelpers() {
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        Thumbnailer t({program, arguments, 300, 64, 1 << 20});
        QSignalSpy failed(&t, &Thumbnailer::failed);
        const Key a{"/v", "/a", 1, 1}, b{"/v", "/b", 1, 1};
        t.request(a);
        t.request(b);
        // Each file fails on its own, within the deadline, and a new helper takes the next.
        QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 2, 5000);
        QCOMPARE(failed.at(0).at(0).value<Key>(), a);
        QCOMPARE(t.restarts(), 2);
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
        QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 1, 5000);
        QCOMPARE(failed.at(0).at(0).value<Key>(), c);
        QVERIFY(!t.cache().failed(a));
    }
};

QTEST_GUILESS_MAIN(ThumbnailTest)
#include "ThumbnailTest.moc"
