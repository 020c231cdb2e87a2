// SPDX-License-Identifier: MIT
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

#include <memory>

#include "ui/single_copy.h"

using corvel::ui::alreadyRunningText;
using corvel::ui::SingleCopyLock;

// One running copy per machine: the second start is refused while the first runs, a start after
// it ended is allowed however many were refused, and a planted file is never followed.
class SingleCopyTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> scratch;
    std::string path() const { return scratch->path().toStdString(); }
    QString filePath(const char* name) const { return scratch->filePath(QString::fromLatin1(name)); }

private Q_SLOTS:
    void init() { scratch = std::make_unique<QTemporaryDir>(); }

    void secondCopyRefusedWhileTheFirstRuns() {
        auto first = std::make_unique<SingleCopyLock>(path());
        QVERIFY(first->acquired());
        for (int i = 0; i < 3; ++i) QVERIFY(!SingleCopyLock(path()).acquired());
        first.reset();
        QVERIFY(SingleCopyLock(path()).acquired());
    }

    // A copy that crashed leaves its lock file behind but no lock.
    void leftoverFileIsNoLock() {
        QFile leftover(filePath("corvel-utility.lock"));
        QVERIFY(leftover.open(QIODevice::WriteOnly));
        leftover.close();
        QVERIFY(SingleCopyLock(path()).acquired());
    }

    // A symlink or a FIFO in the lock's place is neither followed nor waited on; without a lock
    // file the program runs rather than refusing.
    void plantedFilesAreNotUsed() {
        const QString target = filePath("target");
        const QString lockPath = filePath("corvel-utility.lock");
        QVERIFY(QFile::link(target, lockPath));
        QVERIFY(SingleCopyLock(path()).acquired());
        QVERIFY(!QFile::exists(target));
        QVERIFY(QFile::remove(lockPath));
        QCOMPARE(::mkfifo(lockPath.toLocal8Bit().constData(), 0600), 0);
        QVERIFY(SingleCopyLock(path()).acquired());
    }

    void refusalText() {
        QCOMPARE(alreadyRunningText("Corvel Utility"),
                 std::string("Corvel Utility is already running.\nOnly one copy can run at a time."));
        QCOMPARE(alreadyRunningText(""),
                 std::string(" is already running.\nOnly one copy can run at a time."));
    }
};

QTEST_MAIN(SingleCopyTest)
#include "single_copy_test.moc"
