// Browsing a card leaves it as it was: on a card mounted with strictatime, where every read of a
// file stamps its access time, the thumbnails of a JPEG, a RAW file, a HEIC picture and a video,
// a still preview, a text preview and a video that plays for a second change no access time, and
// afterwards nothing of the card is held open. Runs as root on a zram drive of its own.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMediaPlayer>
#include <QQuickTextureFactory>
#include <QSignalSpy>
#include <QTest>
#include <QVideoSink>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <memory>

#include "CardFixtures.h"
#include "model/FileRows.h"
#include "support/Privileged.h"
#include "support/TempDir.h"
#include "support/ZramVolume.h"
#include "thumbnail/Protocol.h"
#include "thumbnail/ThumbnailProvider.h"
#include "thumbnail/Thumbnailer.h"

using namespace halvetrop;
namespace test = halvetrop::test;

namespace {

constexpr time_t kOld = 1'000'000'000;

timespec accessTime(const QString& path) {
    struct stat st {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st.st_atim;
}

bool write(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// Open descriptors of this process that point below `folder`.
int openBelow(const std::string& folder) {
    int n = 0;
    std::error_code ec;
    for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd", ec)) {
        const std::string target = std::filesystem::read_symlink(fd.path(), ec).string();
        if (!ec && target.rfind(folder + "/", 0) == 0) ++n;
    }
    return n;
}

}  // namespace

class CardAtimeTest : public QObject {
    Q_OBJECT

private slots:
    void browsingLeavesAccessTimesAlone() {
        std::string reason;
        if (::geteuid() != 0)
            QSKIP(test::volumesUnavailable("needs root to make a zram card and mount it").c_str());
        if (!test::ZramVolume::available(&reason)) QSKIP(reason.c_str());
        test::ZramVolume card(64 << 20, "HVCARD");
        const QString root = QString::fromStdString(card.mountPoint());
        QCOMPARE(test::runShell("mount -o remount,strictatime " + test::shellQuote(card.mountPoint())), 0);

        const QString jpeg = root + "/DCIM/100TEST/IMG_0001.JPG", raw = root + "/DCIM/100TEST/DSC_0002.NEF",
                      heic = root + "/DCIM/100TEST/IMG_0003.HEIC",
                      video = root + "/PRIVATE/M4ROOT/CLIP/C0001.MP4", text = root + "/MISC/notes.txt",
                      control = root + "/MISC/control.bin";
        test::RawSpec nikon{{16, 12}, false, Qt::red, 1, test::RawSpec::Where::nikonMakerNote};
        QVERIFY(write(jpeg, test::jpegOf({1200, 800}, QColor(250, 140, 20))));
        QVERIFY(write(raw, test::rawFile(nikon)));
        QString why;
        QVERIFY2(write(heic, test::heicOf({320, 240}, Qt::blue, &why)), qPrintable(why));
        QDir().mkpath(QFileInfo(video).path());
        QVERIFY2(test::writeVideo(video, {320, 240}, Qt::blue, 2.0, &why), qPrintable(why));
        QVERIFY(write(text, "Card notes\n"));
        QVERIFY(write(control, "x"));
        const QStringList files = {jpeg, raw, heic, video, text, control};
        for (const QString& f : files) {
            const timespec times[2] = {{kOld, 0}, {0, UTIME_OMIT}};
            QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(f).constData(), times, 0), 0);
        }
        // The card is strict indeed: a plain read stamps the file.
        QFile plain(control);
        QVERIFY(plain.open(QIODevice::ReadOnly) && plain.readAll() == "x");
        plain.close();
        QVERIFY(accessTime(control).tv_sec != kOld);

        // Thumbnails from two helpers.
        thumbs::Thumbnailer thumbnails(
            {HALVETROP_THUMBNAILER, {}, kHangDetectorMs, 264, int64_t(8) << 20, 2});
        QSignalSpy ready(&thumbnails, &thumbs::Thumbnailer::ready),
            failed(&thumbnails, &thumbs::Thumbnailer::failed);
        for (const QString& f : {jpeg, raw, heic, video})
            thumbnails.request({card.mountPoint(), f.toStdString(), QFileInfo(f).size(), 1});
        QTRY_COMPARE(ready.count() + failed.count(), 4);
        QCOMPARE(ready.count(), 4);

        // The still preview, named by its path.
        thumbs::Thumbnailer stills(
            {HALVETROP_THUMBNAILER, {}, kHangDetectorMs, thumbs::maxSide, int64_t(8) << 20, 1});
        std::unique_ptr<thumbs::ThumbnailProvider> previews(thumbs::ThumbnailProvider::previews(stills));
        std::unique_ptr<QQuickImageResponse> still(previews->requestImageResponse(
            QString::fromLatin1(QFile::encodeName(jpeg).toPercentEncoding()), {}));
        QSignalSpy stillDone(still.get(), &QQuickImageResponse::finished);
        QVERIFY(stillDone.wait(kHangDetectorMs));
        std::unique_ptr<QQuickTextureFactory> picture(still->textureFactory());
        QVERIFY(picture && picture->image().width() == 1024);

        // The text preview, and a video that plays for a second from the model's device.
        FileRows rows;
        QSignalSpy loaded(&rows, &FileRows::textLoaded);
        rows.loadText(QUrl::fromLocalFile(text));
        QVERIFY(loaded.wait(kHangDetectorMs));
        QCOMPARE(loaded.at(0).at(1).toString(), QStringLiteral("Card notes\n"));
        QMediaPlayer player;
        QVideoSink sink;
        player.setVideoSink(&sink);
        int frames = 0;
        connect(&sink, &QVideoSink::videoFrameChanged, this, [&frames] { ++frames; });
        QVERIFY(rows.play(&player, QUrl::fromLocalFile(video)));
        player.play();
        QTRY_VERIFY(player.position() >= 1000 || player.error() != QMediaPlayer::NoError);
        QVERIFY2(player.error() == QMediaPlayer::NoError, qPrintable(player.errorString()));
        QVERIFY(frames > 0);
        rows.releasePreview();

        for (const QString& f : files)
            if (f != control) QVERIFY2(accessTime(f).tv_sec == kOld, qPrintable(f));
        // Nothing of the card stays open, so it can be unmounted.
        QTRY_COMPARE(openBelow(card.mountPoint()), 0);
    }
};

QTEST_MAIN(CardAtimeTest)
#include "CardAtimeTest.moc"
