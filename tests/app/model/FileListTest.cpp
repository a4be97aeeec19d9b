#include <QtTest>
class FileListTest : public QObject {
    Q_OBJECT
};
QTEST_GUILESS_MAIN(FileListTest)
#include "FileListTest.moc"
