// SPDX-License-Identifier: MIT
#include "ui/single_copy.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>
#include <memory>

using corvel::ui::alreadyRunningText;
using corvel::ui::SingleCopyLock;
using corvel::ui::unusableLockText;
using State = corvel::ui::SingleCopyLock::State;

namespace {

// The state a lock taken in a child process as another user ends in, that user's groups
// `groups`: the child drops to it before it opens anything.
State stateAs(uid_t uid, std::vector<gid_t> groups, const std::string& shared,
              const std::string& own) {
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgroups(groups.size(), groups.data()) != 0 || ::setgid(uid) != 0 ||
            ::setuid(uid) != 0)
            ::_exit(100);
        const SingleCopyLock lock(shared, own);
        ::_exit(int(lock.state()));
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) < 100 ? State(WEXITSTATUS(status)) : State(-1);
}

}  // namespace

// One running copy per machine for every user who shares the device list: the lock file of the
// shared data directory, opened as the package made it; a private directory's lock only for a
// user kept out of the shared one; a refusal, never a lock elsewhere, while the shared file is
// there but unusable.
class SingleCopyTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> scratch;
    QString shared;  // the shared data directory, root:corvel 2770 in the product
    QString own;     // a private data directory
    std::string sharedPath() const { return shared.toStdString(); }
    std::string ownPath() const { return own.toStdString(); }
    QString sharedLock() const { return shared + QStringLiteral("/corvel-utility.lock"); }
    QString ownLock() const { return own + QStringLiteral("/corvel-utility.lock"); }

    // The lock file as the package makes it.
    void packageLock(mode_t mode = 0660) {
        const int fd =
            ::open(QFile::encodeName(sharedLock()).constData(), O_WRONLY | O_CREAT | O_EXCL, mode);
        QVERIFY(fd >= 0);
        ::fchmod(fd, mode);
        ::close(fd);
    }

private Q_SLOTS:
    void init() {
        scratch = std::make_unique<QTemporaryDir>();
        ::chmod(QFile::encodeName(scratch->path()).constData(), 0755);
        shared = scratch->filePath(QStringLiteral("shared"));
        own = scratch->filePath(QStringLiteral("own"));
        QVERIFY(QDir().mkpath(shared) && QDir().mkpath(own));
    }

    void secondCopyRefusedWhileTheFirstRuns() {
        packageLock();
        auto first = std::make_unique<SingleCopyLock>(sharedPath(), ownPath());
        QCOMPARE(first->state(), State::Held);
        QCOMPARE(QString::fromStdString(first->path()), sharedLock());
        for (int i = 0; i < 3; ++i) {
            const SingleCopyLock second(sharedPath(), ownPath());
            QCOMPARE(second.state(), State::HeldElsewhere);
            QVERIFY(!second.acquired());
        }
        // No lock of its own in the private directory while the shared one is held.
        QVERIFY(!QFile::exists(ownLock()));
        first.reset();
        QVERIFY(SingleCopyLock(sharedPath(), ownPath()).acquired());
        // The package's file is the one used: same mode, nothing made beside it.
        QCOMPARE(QFileInfo(sharedLock()).permissions() & QFile::WriteGroup, QFile::WriteGroup);
        QCOMPARE(QDir(shared).entryList(QDir::Files | QDir::System | QDir::Hidden).size(), 1);
    }

    // A copy that crashed leaves its lock file behind but no lock.
    void leftoverFileIsNoLock() {
        packageLock();
        QVERIFY(SingleCopyLock(sharedPath(), ownPath()).acquired());
        QVERIFY(SingleCopyLock(sharedPath(), ownPath()).acquired());
    }

    // Without the package's file (an install that made none), the first copy makes it, for the
    // group to open too.
    void missingSharedLockIsMade() {
        const SingleCopyLock first(sharedPath(), ownPath());
        QCOMPARE(first.state(), State::Held);
        QVERIFY(QFile::exists(sharedLock()));
        struct stat info {};
        QCOMPARE(::stat(QFile::encodeName(sharedLock()).constData(), &info), 0);
        QCOMPARE(info.st_mode & 07777, mode_t(0660));
        QCOMPARE(SingleCopyLock(sharedPath(), ownPath()).state(), State::HeldElsewhere);
    }

    // A symlink, a FIFO or a directory in the shared lock's place: neither followed nor waited
    // on, and the program refuses rather than run beside a copy it cannot see.
    void plantedSharedLockRefuses_data() {
        QTest::addColumn<QString>("planted");
        QTest::addColumn<QString>("problem");
        QTest::newRow("symlink") << "symlink"
                                 << "is a symbolic link";
        QTest::newRow("dangling symlink") << "dangling"
                                          << "is a symbolic link";
        QTest::newRow("fifo") << "fifo"
                              << "is not a regular file";
        QTest::newRow("directory") << "directory"
                                   << "is not a regular file";
    }
    void plantedSharedLockRefuses() {
        QFETCH(QString, planted);
        QFETCH(QString, problem);
        const QString target = scratch->filePath(QStringLiteral("target"));
        const QByteArray lock = QFile::encodeName(sharedLock());
        if (planted == QLatin1String("symlink")) {
            QFile file(target);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.close();
            QVERIFY(QFile::link(target, sharedLock()));
        } else if (planted == QLatin1String("dangling")) {
            QVERIFY(QFile::link(target, sharedLock()));
        } else if (planted == QLatin1String("fifo")) {
            QCOMPARE(::mkfifo(lock.constData(), 0660), 0);
        } else {
            QVERIFY(QDir().mkpath(sharedLock()));
        }
        const SingleCopyLock lockTaken(sharedPath(), ownPath());
        QCOMPARE(lockTaken.state(), State::Unusable);
        QVERIFY(!lockTaken.acquired());
        QCOMPARE(QString::fromStdString(lockTaken.problem()), problem);
        QVERIFY(!QFile::exists(ownLock()));
        if (planted == QLatin1String("dangling")) QVERIFY(!QFile::exists(target));
        QCOMPARE(unusableLockText("Corvel Utility", lockTaken),
                 "Corvel Utility cannot make sure that no other copy is running: its lock file " +
                     lock.toStdString() + " " + problem.toStdString() +
                     ".\nAsk the administrator to remove it and reinstall the package, which "
                     "makes it again.");
    }

    // No shared directory on this machine: the private one keeps the lock, made 0600.
    void withoutSharedDirectoryTheOwnLock() {
        const std::string missing = scratch->filePath(QStringLiteral("none")).toStdString();
        auto first = std::make_unique<SingleCopyLock>(missing, ownPath());
        QCOMPARE(first->state(), State::Held);
        QCOMPARE(QString::fromStdString(first->path()), ownLock());
        QCOMPARE(QFileInfo(ownLock()).permissions() & (QFile::ReadGroup | QFile::ReadOther),
                 QFile::Permissions());
        QCOMPARE(SingleCopyLock(missing, ownPath()).state(), State::HeldElsewhere);
        first.reset();
        QVERIFY(SingleCopyLock(missing, ownPath()).acquired());
    }

    // The user's own directory is the user's own: a symlink or FIFO there is not followed or
    // waited on, and a private directory where no lock can be made runs the program rather
    // than refusing it.
    void plantedOwnLockRunsUnguarded() {
        const std::string missing = scratch->filePath(QStringLiteral("none")).toStdString();
        const QString target = scratch->filePath(QStringLiteral("target"));
        QVERIFY(QFile::link(target, ownLock()));
        SingleCopyLock viaLink(missing, ownPath());
        QCOMPARE(viaLink.state(), State::Unguarded);
        QVERIFY(viaLink.acquired());
        QVERIFY(!QFile::exists(target));
        QVERIFY(QFile::remove(ownLock()));
        QCOMPARE(::mkfifo(QFile::encodeName(ownLock()).constData(), 0600), 0);
        QVERIFY(SingleCopyLock(missing, ownPath()).acquired());
        QVERIFY(SingleCopyLock(missing, missing).acquired());
    }

    // Other users, as the package sets the directory up (root, group 2770, the lock 0660): a
    // member of the directory's group opens the same lock and is refused while another copy
    // holds it; a user outside the group cannot open the directory and keeps a lock of their
    // own in their private directory.
    void otherUsers() {
        if (::geteuid() != 0) QSKIP("switching users needs root");
        const gid_t group = 65533;  // the directory's group, standing in for corvel
        const uid_t user = 65534;
        QCOMPARE(::chown(QFile::encodeName(shared).constData(), 0, group), 0);
        QCOMPARE(::chmod(QFile::encodeName(shared).constData(), 02770), 0);
        packageLock();
        QCOMPARE(::chown(QFile::encodeName(sharedLock()).constData(), 0, group), 0);
        QCOMPARE(::chown(QFile::encodeName(own).constData(), user, user), 0);

        const SingleCopyLock first(sharedPath(), ownPath());  // root's copy
        QCOMPARE(first.state(), State::Held);
        QCOMPARE(stateAs(user, {group}, sharedPath(), ownPath()), State::HeldElsewhere);
        QVERIFY(!QFile::exists(ownLock()));
        QCOMPARE(stateAs(user, {}, sharedPath(), ownPath()), State::Held);
        QVERIFY(QFile::exists(ownLock()));
    }

    void refusalText() {
        QCOMPARE(
            alreadyRunningText("Corvel Utility"),
            std::string("Corvel Utility is already running.\nOnly one copy can run at a time."));
        QCOMPARE(alreadyRunningText(""),
                 std::string(" is already running.\nOnly one copy can run at a time."));
    }
};

QTEST_MAIN(SingleCopyTest)
#include "single_copy_test.moc"
