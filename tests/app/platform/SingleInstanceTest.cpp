// The single-instance guard: in one process, across processes, and after a crash left its socket.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "platform/LinuxServices.h"

using namespace halvetrop;

namespace {

// What a crashed instance leaves: a socket file nobody listens on.
bool leaveStaleSocket(const QString& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray bytes = QFile::encodeName(path);
    if (fd < 0 || bytes.size() >= qsizetype(sizeof address.sun_path)) return false;
    std::memcpy(address.sun_path, bytes.constData(), bytes.size());
    const bool bound =
        ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && ::listen(fd, 1) == 0;
    ::close(fd);
    return bound && QFileInfo::exists(path);
}

// The first instance, already listening.
struct Running {
    QTemporaryDir dir;
    QString name = dir.filePath("app.socket");
    int raised = 0;
    LocalSingleInstance guard{name};
    bool claimed = guard.claim([this] { ++raised; });
};

}  // namespace

class SingleInstanceTest : public QObject {
    Q_OBJECT

private slots:
    void claims_data() {
        QTest::addColumn<QString>("before");  // "", "stale", "running", "ended", "crashed"
        QTest::addColumn<bool>("first");

        QTest::newRow("nobody there") << "" << true;
        QTest::newRow("socket left by a crash") << "stale" << true;
        QTest::newRow("an instance runs") << "running" << false;
        QTest::newRow("the earlier instance quit") << "ended" << true;
        QTest::newRow("the earlier instance was killed") << "crashed" << true;
    }

    // The claim decides, and a winner then answers the next launch.
    void claims() {
        QFETCH(QString, before);
        QFETCH(bool, first);

        QTemporaryDir dir;
        const QString name = dir.filePath("app.socket");
        int earlierRaised = 0;
        std::optional<LocalSingleInstance> earlier;
        if (before == "stale") QVERIFY(leaveStaleSocket(name));
        if (before == "crashed") {
            QProcess holder;
            holder.start(QCoreApplication::applicationFilePath(), {"--hold", name});
            QVERIFY(holder.waitForReadyRead(kHangDetectorMs));
            QCOMPARE(holder.readAll(), QByteArray("claimed\n"));
            holder.kill();  // no clean-up: the socket and the lock stay behind
            QVERIFY(holder.waitForFinished(kHangDetectorMs));
            QVERIFY(QFileInfo::exists(name) && QFileInfo::exists(name + ".lock"));
        }
        if (before == "running" || before == "ended") {
            earlier.emplace(name);
            QVERIFY(earlier->claim([&] { ++earlierRaised; }));
            if (before == "ended") earlier.reset();
        }

        int raised = 0;
        LocalSingleInstance guard(name);
        QCOMPARE(guard.claim([&] { ++raised; }), first);
        if (!first) {
            QTRY_COMPARE(earlierRaised, 1);
            return;
        }
        LocalSingleInstance next(name);
        QVERIFY(!next.claim([] {}));
        QTRY_COMPARE(raised, 1);
    }

    // Another process launched while this one runs asks this one to raise and exits.
    void secondProcess() {
        Running first;
        QVERIFY(first.claimed);
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {"--claim", first.name});
        QVERIFY(QTest::qWaitFor([&] { return child.state() == QProcess::NotRunning; }, kHangDetectorMs));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 3);  // told the first one, did not take over
        QTRY_COMPARE(first.raised, 1);
    }

    // A stranger's bytes on the socket raise nothing and do not stop the guard.
    void strangerIgnored() {
        Running first;
        QVERIFY(first.claimed);
        const QString& name = first.name;
        int& raised = first.raised;
        for (const QByteArray& junk : {QByteArray(200, 'x'), QByteArray("raisе\n"), QByteArray("raise")}) {
            QLocalSocket socket;
            socket.connectToServer(name);
            QVERIFY(socket.waitForConnected(kHangDetectorMs));
            socket.write(junk);
            QVERIFY(socket.waitForBytesWritten(kHangDetectorMs));
            // Too long, or a whole line: the guard, which raises before it hangs up, hangs up on it.
            // A line never ended it waits on, until the stranger goes.
            if (junk.endsWith('\n') || junk.size() > 64)
                QTRY_COMPARE(socket.state(), QLocalSocket::UnconnectedState);
            socket.disconnectFromServer();
            QCOMPARE(raised, 0);
        }
        // A launch after the strangers raises once.
        LocalSingleInstance next(name);
        QVERIFY(!next.claim([] {}));
        QTRY_COMPARE(raised, 1);
    }
};

int main(int argc, char** argv) {
    // The second launch of secondProcess: exit 3 when another instance runs, 0 when this one won.
    if (argc == 3 && QByteArray(argv[1]) == "--claim") {
        QCoreApplication app(argc, argv);
        LocalSingleInstance guard(QFile::decodeName(argv[2]));
        return guard.claim([] {}) ? 0 : 3;
    }
    // The first instance of claims(crashed): wins, says so, waits to be killed.
    if (argc == 3 && QByteArray(argv[1]) == "--hold") {
        QCoreApplication app(argc, argv);
        LocalSingleInstance guard(QFile::decodeName(argv[2]));
        if (!guard.claim([] {})) return 3;
        std::fputs("claimed\n", stdout);
        std::fflush(stdout);
        return app.exec();
    }
    QCoreApplication app(argc, argv);
    SingleInstanceTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "SingleInstanceTest.moc"
