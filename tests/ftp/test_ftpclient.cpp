#include "ftp/ftpclient.h"
#include "harness/testftpserver.h"

#include <QDir>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QWidget>
#include <QtTest>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <functional>

using namespace tobra;
using tobra::test::TestFtpServer;

namespace {

// Records every event of a client as one line, in order.
struct Recorder {
    QStringList events;
    QStringList status;
    QList<qint64> progress;
    std::function<void(bool *cancel)> onProgress;
    std::function<void(int state)> onState;

    explicit Recorder(FtpClient &c)
    {
        QObject::connect(&c, &FtpClient::ConnectionStateChanged, [this](int s) {
            events << QStringLiteral("state %1").arg(s);
            if (onState)
                onState(s);
        });
        QObject::connect(&c, &FtpClient::StatusMessage, [this](const QString &t) { status << t; });
        QObject::connect(&c, &FtpClient::DirectoryChanged,
                         [this](const QString &p) { events << QStringLiteral("dir ") + p; });
        QObject::connect(&c, &FtpClient::TransferStarting,
                         [this](const QString &l, const QString &r, qint64 total, int dir, int) {
                             events << QStringLiteral("starting %1 %2 %3 %4").arg(l, r).arg(total).arg(dir);
                         });
        QObject::connect(&c, &FtpClient::TransferProgress,
                         [this](const QString &, const QString &, qint64, qint64 done, qint64, bool *cancel) {
                             if (progress.isEmpty())
                                 events << QStringLiteral("progress");
                             progress << done;
                             if (onProgress)
                                 onProgress(cancel);
                         });
        QObject::connect(&c, &FtpClient::TransferComplete, [this](const QString &r, const QString &l, bool down) {
            events << QStringLiteral("complete %1 %2 %3").arg(r, l, down ? "true" : "false");
        });
        QObject::connect(&c, &FtpClient::TransferCancelled, [this](const QString &r, const QString &l, bool down) {
            events << QStringLiteral("cancelled %1 %2 %3").arg(r, l, down ? "true" : "false");
        });
    }
    bool saw(const QString &prefix) const
    {
        for (const QString &e : events)
            if (e.startsWith(prefix))
                return true;
        return false;
    }
};

// Runs op and returns the number of the FtpError it raises, 0 when none.
int errorOf(const std::function<void()> &op, QString *description = nullptr)
{
    try {
        op();
    } catch (const FtpError &e) {
        if (description)
            *description = e.description();
        return e.number();
    }
    return 0;
}

// A local port nobody listens on: bound, then released.
int closedPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0
        || ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len) != 0) {
        if (fd >= 0)
            ::close(fd);
        return 0;
    }
    ::close(fd);
    return ntohs(a.sin_port);
}

class KeyProbe : public QObject {
public:
    int keys = 0;
    bool event(QEvent *e) override
    {
        if (e->type() == QEvent::KeyPress)
            ++keys;
        return QObject::event(e);
    }
};

void sendKey(QObject *to)
{
    QKeyEvent key(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(to, &key);
}

}  // namespace

class TestFtpClient : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void oneLoginServesManyOperations();
    void connectFailures_data();
    void connectFailures();
    void hostForms_data();
    void hostForms();
    void changeDirectory();
    void makeDirectoryAndList_data();
    void makeDirectoryAndList();
    void putFile_data();
    void putFile();
    void putFileLocalFileProblems();
    void uploadMemoryDoesNotGrowWithFileSize();
    void unsafeNamesRefused_data();
    void unsafeNamesRefused();
    void operationsNeedAConnection();
    void cancelFromProgressHandler();
    void droppedConnection_data();
    void droppedConnection();
    void refusedUpload();
    void shortFileOnServerIsAnError();
    void stalledServerFailsInBoundedTime();
    void statusLinesNeverShowPassword();
    void inputBlockedAndBusyWhileWorking();

private:
    QString makeLocal(const QString &name, qint64 size);

    TestFtpServer server_;
    QTemporaryDir files_;
};

void TestFtpClient::initTestCase()
{
    QVERIFY(files_.isValid());
    QVERIFY2(server_.start(), qPrintable(server_.lastError()));
}

QString TestFtpClient::makeLocal(const QString &name, qint64 size)
{
    const QString path = files_.filePath(name);
    if (!test::writePatternFile(path, size))
        return QString();
    return path;
}

void TestFtpClient::oneLoginServesManyOperations()
{
    TestFtpServer server;
    QVERIFY2(server.start(), qPrintable(server.lastError()));
    const QString local = makeLocal(QStringLiteral("many.bin"), 70000);
    QVERIFY(!local.isEmpty());

    FtpClient c;
    Recorder rec(c);
    c.Connect(server.host(), TestFtpServer::user(), TestFtpServer::password());
    QVERIFY(c.Connected());
    QCOMPARE(c.Host(), server.host());
    QCOMPARE(c.currentDirectory(), QStringLiteral("/"));
    c.MakeDirectory(QStringLiteral("uploads"));
    c.CD(QStringLiteral("uploads"));
    c.PutFile(local, QStringLiteral("/uploads/T3"));
    c.PutFile(local);
    QCOMPARE(c.List().size(), 2);
    c.CD(QStringLiteral("T3"));
    QCOMPARE(c.List().size(), 1);
    QCOMPARE(c.loginCount(), 1);
    QCOMPARE(server.loginCount(), 1);

    c.Reconnect();
    QVERIFY(c.Connected());
    QCOMPARE(c.List().size(), 1);   // back at the login folder, which holds "uploads" only
    QCOMPARE(c.loginCount(), 2);
    QCOMPARE(server.loginCount(), 2);

    c.Disconnect();
    QVERIFY(!c.Connected());
    QVERIFY(server.stop());
    const QStringList states = rec.events.filter(QStringLiteral("state"));
    QCOMPARE(states, (QStringList{"state 1", "state 0", "state 1", "state 0"}));
}

void TestFtpClient::connectFailures_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("maxSeconds");

    QTest::newRow("wrong password") << server_.host() << QStringLiteral("wrongpass") << 14;
    QTest::newRow("nothing listening") << QStringLiteral("127.0.0.1:%1").arg(closedPort())
                                       << TestFtpServer::password() << 3;
    QTest::newRow("port out of range") << QStringLiteral("127.0.0.1:70000") << TestFtpServer::password() << 1;
    QTest::newRow("not a host") << QStringLiteral("ftp://x/y") << TestFtpServer::password() << 1;
    QTest::newRow("empty") << QString() << TestFtpServer::password() << 1;
}

void TestFtpClient::connectFailures()
{
    QFETCH(QString, host);
    QFETCH(QString, password);
    QFETCH(int, maxSeconds);

    FtpClient c;
    Recorder rec(c);
    QElapsedTimer t;
    t.start();
    QString why;
    QCOMPARE(errorOf([&] { c.Connect(host, TestFtpServer::user(), password); }, &why), kErrCannotConnect);
    QVERIFY2(t.elapsed() < maxSeconds * 1000, qPrintable(QString::number(t.elapsed())));
    QVERIFY(!why.isEmpty());
    QVERIFY(!c.Connected());
    QVERIFY(!rec.saw(QStringLiteral("state")));
    QCOMPARE(c.loginCount(), 0);
    for (const QString &line : rec.status)
        QVERIFY2(!line.contains(password), qPrintable(line));
}

void TestFtpClient::hostForms_data()
{
    QTest::addColumn<QString>("address");   // server's listening address
    QTest::addColumn<QString>("hostText");  // %1 is the port
    QTest::addColumn<int>("portArg");       // -1 means the server's port

    QTest::newRow("host:port") << QStringLiteral("127.0.0.1") << QStringLiteral("127.0.0.1:%1") << 21;
    QTest::newRow("port argument") << QStringLiteral("127.0.0.1") << QStringLiteral("127.0.0.1") << -1;
    QTest::newRow("blanks, port in text wins") << QStringLiteral("127.0.0.1") << QStringLiteral("  127.0.0.1:%1 ") << 1;
    QTest::newRow("v6 with port") << QStringLiteral("::1") << QStringLiteral("[::1]:%1") << 21;
    QTest::newRow("v6 port argument") << QStringLiteral("::1") << QStringLiteral("[::1]") << -1;
}

void TestFtpClient::hostForms()
{
    QFETCH(QString, address);
    QFETCH(QString, hostText);
    QFETCH(int, portArg);

    TestFtpServer server;
    if (!server.start({QStringLiteral("--host"), address})) {
        if (address.contains(QLatin1Char(':')))
            QSKIP("no IPv6 loopback here");
        QFAIL(qPrintable(server.lastError()));
    }
    const QString text = hostText.contains(QStringLiteral("%1")) ? hostText.arg(server.port()) : hostText;
    FtpClient c;
    c.Connect(text, TestFtpServer::user(), TestFtpServer::password(), portArg < 0 ? server.port() : portArg);
    QVERIFY(c.Connected());
    c.MakeDirectory(QStringLiteral("seen"));
    QVERIFY(QDir(server.root() + QStringLiteral("/seen")).exists());
}

void TestFtpClient::changeDirectory()
{
    QDir(server_.root()).mkpath(QStringLiteral("cdtest/T3/deep"));
    QVERIFY(test::writePatternFile(server_.root() + QStringLiteral("/cdtest/afile"), 5));
    FtpClient c;
    Recorder rec(c);
    c.Connect(server_.host(), TestFtpServer::user(), TestFtpServer::password());
    // The window lists the new folder from this signal, so the client must
    // be free again when it is emitted.
    int listErrors = 0;
    QObject::connect(&c, &FtpClient::DirectoryChanged, [&] { listErrors += errorOf([&] { c.List(); }) != 0; });

    struct Step {
        QString path;
        int error;
        QString after;
    };
    const QList<Step> steps{
        {"/cdtest", 0, "/cdtest"},
        {"T3", 0, "/cdtest/T3"},
        {"..", 0, "/cdtest"},
        {"\\cdtest\\T3\\deep", 0, "/cdtest/T3/deep"},
        {"../../T3/./deep/..", 0, "/cdtest/T3"},
        {"missing", kErrRemoteFolder, "/cdtest/T3"},
        {"/cdtest/missing", kErrRemoteFolder, "/cdtest/T3"},
        {"/cdtest/afile", kErrRemoteFolder, "/cdtest/T3"},
        {"", kErrRemoteFolder, "/cdtest/T3"},
        {"/", 0, "/"},
        {"..", 0, "/"},
    };
    for (const Step &s : steps) {
        const QByteArray step = "CD(\"" + s.path.toUtf8() + "\")";
        rec.events.clear();
        QVERIFY2(errorOf([&] { c.CD(s.path); }) == s.error, step);
        QVERIFY2(c.currentDirectory() == s.after, step + " left " + c.currentDirectory().toUtf8());
        QVERIFY2(rec.events == (s.error ? QStringList() : QStringList{QStringLiteral("dir ") + s.after}), step);
        QVERIFY(c.Connected());
    }
    QCOMPARE(listErrors, 0);
}

void TestFtpClient::makeDirectoryAndList_data()
{
    QTest::addColumn<QStringList>("serverArgs");
    QTest::newRow("mlsd") << QStringList();
    QTest::newRow("list only") << QStringList{QStringLiteral("--no-mlsd")};
}

void TestFtpClient::makeDirectoryAndList()
{
    QFETCH(QStringList, serverArgs);
    TestFtpServer server;
    QVERIFY2(server.start(serverArgs), qPrintable(server.lastError()));
    const QString local = makeLocal(QStringLiteral("listed.txt"), 1234);

    FtpClient c;
    Recorder rec(c);
    c.Connect(server.host(), TestFtpServer::user(), TestFtpServer::password());
    c.MakeDirectory(QStringLiteral("uploads"));
    c.CD(QStringLiteral("/uploads"));
    QVERIFY(c.List().isEmpty());
    c.MakeDirectory(QStringLiteral("my folder"));
    c.MakeDirectory(QStringLiteral("\\top level"));   // absolute: made at the root
    QVERIFY(QDir(server.root() + QStringLiteral("/uploads/my folder")).exists());
    QVERIFY(QDir(server.root() + QStringLiteral("/top level")).exists());
    QCOMPARE(errorOf([&] { c.MakeDirectory(QStringLiteral("my folder")); }), kErrRemoteFolder);
    QVERIFY(c.Connected());
    c.PutFile(local);

    rec.status.clear();
    QList<FtpListEntry> entries = c.List();
    std::sort(entries.begin(), entries.end(),
              [](const FtpListEntry &a, const FtpListEntry &b) { return a.Name < b.Name; });
    QCOMPARE(entries.size(), 2);
    QCOMPARE(entries[0].Name, QStringLiteral("LISTED.TXT"));
    QCOMPARE(entries[0].IsFile, -1);
    QCOMPARE(entries[0].Size, 1234);
    QVERIFY(!entries[0].DateTime.isEmpty());
    QCOMPARE(entries[1].Name, QStringLiteral("my folder"));
    QCOMPARE(entries[1].IsFile, 0);

    // A refused MLSD is asked only once per connection.
    rec.status.clear();
    QCOMPARE(c.List().size(), 2);
    QVERIFY2(rec.status.filter(QRegularExpression(QStringLiteral("^50[0-4] "))).isEmpty(),
             qPrintable(rec.status.join(QLatin1Char('\n'))));
}

void TestFtpClient::putFile_data()
{
    QTest::addColumn<QString>("localName");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QString>("remoteFolder");
    QTest::addColumn<bool>("relative");
    QTest::addColumn<QString>("expectedRemote");

    QTest::newRow("folder made") << "report.zip" << qint64(3 * 1024 * 1024 + 17) << "/uploads/T3" << false
                                 << "uploads/T3/REPORT.ZIP";
    QTest::newRow("backslash folder, no extension") << "notes" << qint64(1000) << "\\uploads\\V7" << false
                                                    << "uploads/V7/NOTES.";
    QTest::newRow("blank and hash") << "my file #1.tar.gz" << qint64(100000) << "/uploads/a b" << false
                                    << "uploads/a b/MY FILE #1.TAR.GZ";
    QTest::newRow("percent and question mark") << "100%?.dat" << qint64(4096) << "/up/50%" << false
                                               << "up/50%/100%?.DAT";
    QTest::newRow("non-ascii") << QString::fromUtf8("grüße.txt") << qint64(10) << QString::fromUtf8("/ü")
                               << false << QString::fromUtf8("ü/GRÜSSE.TXT");
    QTest::newRow("current folder") << "here.bin" << qint64(777) << "" << false << "HERE.BIN";
    QTest::newRow("relative to local directory") << "rel.bin" << qint64(65537) << "/r" << true << "r/REL.BIN";
    QTest::newRow("empty file") << "empty.txt" << qint64(0) << "/e" << false << "e/EMPTY.TXT";
    QTest::newRow("larger than a buffer") << "big.dat" << qint64(9 * 1024 * 1024 + 3) << "/big" << false
                                          << "big/BIG.DAT";
}

void TestFtpClient::putFile()
{
    QFETCH(QString, localName);
    QFETCH(qint64, size);
    QFETCH(QString, remoteFolder);
    QFETCH(bool, relative);
    QFETCH(QString, expectedRemote);

    const QString local = makeLocal(localName, size);
    QVERIFY(!local.isEmpty());
    FtpClient c;
    Recorder rec(c);
    c.Connect(server_.host(), TestFtpServer::user(), TestFtpServer::password());
    c.setLocalDirectory(files_.path() + (relative ? QStringLiteral("/") : QString()));
    rec.events.clear();

    QElapsedTimer t;
    t.start();
    c.PutFile(relative ? localName : local, remoteFolder);
    rec.events << QStringLiteral("returned");
    const qint64 ms = t.elapsed();

    QString why;
    QVERIFY2(test::sameFileContents(local, server_.root() + QLatin1Char('/') + expectedRemote, &why),
             qPrintable(why));
    const QString remoteName = expectedRemote.section(QLatin1Char('/'), -1);
    QCOMPARE(rec.events, (QStringList{QStringLiteral("starting %1 %2 %3 1").arg(local, remoteName).arg(size),
                                      QStringLiteral("progress"),
                                      QStringLiteral("complete %1 %2 false").arg(remoteName, local),
                                      QStringLiteral("returned")}));
    QVERIFY(!rec.progress.isEmpty());
    QCOMPARE(rec.progress.last(), size);
    QVERIFY(std::is_sorted(rec.progress.begin(), rec.progress.end()));
    // Throttled: about ten a second plus the last one.
    QVERIFY2(rec.progress.size() <= 2 + ms / 90, qPrintable(QString::number(rec.progress.size())));
    QVERIFY(c.Connected());
}

void TestFtpClient::putFileLocalFileProblems()
{
    FtpClient c;
    Recorder rec(c);
    c.Connect(server_.host(), TestFtpServer::user(), TestFtpServer::password());
    c.setLocalDirectory(files_.path());
    QCOMPARE(errorOf([&] { c.PutFile(QStringLiteral("not-there.txt"), QStringLiteral("/lf")); }), kErrLocalFile);
    QCOMPARE(errorOf([&] { c.PutFile(files_.path() + QStringLiteral("/gone/x.txt")); }), kErrLocalFile);
    QDir(files_.path()).mkpath(QStringLiteral("adir.d"));
    QCOMPARE(errorOf([&] { c.PutFile(QStringLiteral("adir.d")); }), kErrLocalFile);
    QVERIFY(!rec.saw(QStringLiteral("starting")));
    QVERIFY(!rec.saw(QStringLiteral("complete")));
    QVERIFY(!QDir(server_.root() + QStringLiteral("/lf")).exists());
    QVERIFY(c.Connected());
}

// Peak resident memory of this process in KiB, 0 when unknown.
static qint64 peakRssKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return 0;
}

void TestFtpClient::uploadMemoryDoesNotGrowWithFileSize()
{
    const qint64 size = qint64(128) * 1024 * 1024;
    const QString local = makeLocal(QStringLiteral("large.bin"), size);
    QVERIFY(!local.isEmpty());
    FtpClient c;
    c.Connect(server_.host(), TestFtpServer::user(), TestFtpServer::password());
    const qint64 before = peakRssKiB();
    if (before == 0)
        QSKIP("no /proc/self/status here");
    c.PutFile(local, QStringLiteral("/large"));
    const qint64 grown = peakRssKiB() - before;
    const QString remote = server_.root() + QStringLiteral("/large/LARGE.BIN");
    QCOMPARE(QFileInfo(remote).size(), size);
    QFile::remove(remote);
    QFile::remove(local);
    QVERIFY2(grown < 32 * 1024, qPrintable(QStringLiteral("peak grew by %1 KiB").arg(grown)));
}

void TestFtpClient::unsafeNamesRefused_data()
{
    QTest::addColumn<QString>("op");
    QTest::addColumn<QString>("arg");
    QTest::addColumn<QString>("folderArg");

    QTest::newRow("cd newline") << "cd" << "a\nb" << "";
    QTest::newRow("mkd injected command") << "mkd" << "x\r\nDELE victim" << "";
    QTest::newRow("mkd nul") << "mkd" << QStringLiteral("x") + QChar(0) + QStringLiteral("y") << "";
    QTest::newRow("put control in name") << "put" << "bad\x01name.txt" << "";
    QTest::newRow("put control in folder") << "put" << "fine.txt" << "/up\rx";
    QTest::newRow("put folder only") << "put" << "somewhere/" << "";
    QTest::newRow("user with line break") << "connect" << "ftpuser\r\nDELE x" << "";
}

void TestFtpClient::unsafeNamesRefused()
{
    QFETCH(QString, op);
    QFETCH(QString, arg);
    QFETCH(QString, folderArg);

    QVERIFY(test::writePatternFile(server_.root() + QStringLiteral("/victim"), 3));
    const QString fine = makeLocal(QStringLiteral("fine.txt"), 10);
    FtpClient c;
    c.Connect(server_.host(), TestFtpServer::user(), TestFtpServer::password());
    c.setLocalDirectory(files_.path());
    const int error = errorOf([&] {
        if (op == QLatin1String("cd"))
            c.CD(arg);
        else if (op == QLatin1String("mkd"))
            c.MakeDirectory(arg);
        else if (op == QLatin1String("put"))
            c.PutFile(arg, folderArg);
        else
            c.Connect(server_.host(), arg, TestFtpServer::password());
    });
    QCOMPARE(error, kErrBadName);
    QVERIFY(QFile::exists(server_.root() + QStringLiteral("/victim")));
}

void TestFtpClient::operationsNeedAConnection()
{
    FtpClient c;
    const QString local = makeLocal(QStringLiteral("nc.txt"), 10);
    QCOMPARE(errorOf([&] { c.CD(QStringLiteral("/")); }), kErrNotConnected);
    QCOMPARE(errorOf([&] { c.MakeDirectory(QStringLiteral("x")); }), kErrNotConnected);
    QCOMPARE(errorOf([&] { c.List(); }), kErrNotConnected);
    QCOMPARE(errorOf([&] { c.PutFile(local); }), kErrNotConnected);
    QCOMPARE(errorOf([&] { c.Reconnect(); }), kErrNotConnected);
}

void TestFtpClient::cancelFromProgressHandler()
{
    const QString local = makeLocal(QStringLiteral("cancel.bin"), 32 * 1024 * 1024);
    FtpClient c;
    Recorder rec(c);
    rec.onProgress = [](bool *cancel) { *cancel = true; };
    const int serverLoginsBefore = server_.loginCount();
    c.Connect(server_.host(), TestFtpServer::user(), TestFtpServer::password());
    QCOMPARE(errorOf([&] { c.PutFile(local, QStringLiteral("/cancel")); }), kErrCancelled);
    QCOMPARE(rec.progress.size(), 1);
    QVERIFY(rec.progress.first() < 32 * 1024 * 1024);
    QVERIFY(rec.saw(QStringLiteral("cancelled CANCEL.BIN %1 false").arg(local)));
    QVERIFY(!rec.saw(QStringLiteral("complete")));
    QVERIFY(!rec.saw(QStringLiteral("state -2")));
    // The session goes on; libcurl logs in again behind the scenes.
    QVERIFY(c.Connected());
    c.CD(QStringLiteral("/cancel"));
    QCOMPARE(c.loginCount(), server_.loginCount() - serverLoginsBefore);
}

void TestFtpClient::droppedConnection_data()
{
    QTest::addColumn<bool>("reconnectInHandler");
    QTest::newRow("stay disconnected") << false;
    QTest::newRow("reconnect from the handler") << true;
}

void TestFtpClient::droppedConnection()
{
    QFETCH(bool, reconnectInHandler);
    TestFtpServer server;
    QVERIFY2(server.start({QStringLiteral("--drop-after"), QStringLiteral("1000000")}), qPrintable(server.lastError()));
    const QString local = makeLocal(QStringLiteral("drop.bin"), 8 * 1024 * 1024);

    FtpClient c;
    Recorder rec(c);
    bool connectedInHandler = true;
    rec.onState = [&](int state) {
        if (state != FtpStateLost)
            return;
        connectedInHandler = c.Connected();
        if (reconnectInHandler)
            c.Reconnect();
    };
    c.Connect(server.host(), TestFtpServer::user(), TestFtpServer::password());
    rec.events.clear();
    QCOMPARE(errorOf([&] { c.PutFile(local, QStringLiteral("/drop")); }), kErrTransfer);
    QVERIFY(!connectedInHandler);
    QVERIFY(!rec.saw(QStringLiteral("complete")));
    const QStringList expectedStates = reconnectInHandler ? QStringList{"state -2", "state 1"} : QStringList{"state -2"};
    QCOMPARE(rec.events.filter(QStringLiteral("state")), expectedStates);
    QCOMPARE(c.Connected(), reconnectInHandler);
    if (reconnectInHandler) {
        c.CD(QStringLiteral("/drop"));
        QCOMPARE(server.loginCount(), 2);
    } else {
        QCOMPARE(errorOf([&] { c.List(); }), kErrNotConnected);
    }
}

void TestFtpClient::refusedUpload()
{
    TestFtpServer server;
    QVERIFY2(server.start({QStringLiteral("--refuse-stor")}), qPrintable(server.lastError()));
    const QString local = makeLocal(QStringLiteral("refused.txt"), 5000);
    FtpClient c;
    Recorder rec(c);
    c.Connect(server.host(), TestFtpServer::user(), TestFtpServer::password());
    QString why;
    QCOMPARE(errorOf([&] { c.PutFile(local, QStringLiteral("/r")); }, &why), kErrTransfer);
    QVERIFY2(why.contains(QStringLiteral("550")), qPrintable(why));
    QVERIFY(!rec.saw(QStringLiteral("complete")));
    QVERIFY(!rec.saw(QStringLiteral("state -2")));
    QVERIFY(c.Connected());
    QVERIFY(!QFile::exists(server.root() + QStringLiteral("/r/REFUSED.TXT")));
}

void TestFtpClient::shortFileOnServerIsAnError()
{
    // The server claims success but keeps less than it was sent: only the
    // size check afterwards can tell.
    TestFtpServer server;
    QVERIFY2(server.start({QStringLiteral("--short-store"), QStringLiteral("1000")}), qPrintable(server.lastError()));
    const QString local = makeLocal(QStringLiteral("short.bin"), 300000);
    FtpClient c;
    Recorder rec(c);
    c.Connect(server.host(), TestFtpServer::user(), TestFtpServer::password());
    QString why;
    QCOMPARE(errorOf([&] { c.PutFile(local, QStringLiteral("/short")); }, &why), kErrTransfer);
    QVERIFY2(why.contains(QStringLiteral("1000")), qPrintable(why));
    QCOMPARE(QFileInfo(server.root() + QStringLiteral("/short/SHORT.BIN")).size(), 1000);
    QVERIFY(!rec.saw(QStringLiteral("complete")));
    QVERIFY(c.Connected());
}

void TestFtpClient::stalledServerFailsInBoundedTime()
{
    TestFtpServer server;
    QVERIFY2(server.start({QStringLiteral("--stall-after"), QStringLiteral("1000000")}), qPrintable(server.lastError()));
    // Larger than what the loopback socket buffers can swallow.
    const QString local = makeLocal(QStringLiteral("stall.bin"), 48 * 1024 * 1024);
    FtpClient c;
    Recorder rec(c);
    c.setTimeouts({10, 2});
    c.Connect(server.host(), TestFtpServer::user(), TestFtpServer::password());
    QElapsedTimer t;
    t.start();
    QCOMPARE(errorOf([&] { c.PutFile(local, QStringLiteral("/s")); }), kErrTransfer);
    QVERIFY2(t.elapsed() < 10000, qPrintable(QString::number(t.elapsed())));
    QVERIFY(t.elapsed() >= 2000);
    QVERIFY(!rec.saw(QStringLiteral("complete")));
    // The server must still end cleanly with a stalled transfer open.
    QVERIFY(server.stop());
}

void TestFtpClient::statusLinesNeverShowPassword()
{
    const QString pw = TestFtpServer::password();
    const QString local = makeLocal(QStringLiteral("pw.txt"), 100);
    FtpClient c;
    Recorder rec(c);
    c.Connect(server_.host(), TestFtpServer::user(), pw);
    // The server echoes folder names, so a folder named like the password
    // puts it into replies.
    c.MakeDirectory(pw);
    c.CD(pw);
    c.List();
    c.PutFile(local);
    c.Disconnect();
    QVERIFY(rec.status.size() > 8);
    QVERIFY(!rec.status.filter(QRegularExpression(QStringLiteral("^230 "))).isEmpty());
    QVERIFY(!rec.status.filter(QStringLiteral("/*****")).isEmpty());
    for (const QString &line : rec.status) {
        QVERIFY2(!line.contains(pw), qPrintable(line));
        QVERIFY2(!line.startsWith(QStringLiteral("PASS")), qPrintable(line));
        QCOMPARE(line, line.trimmed());
    }
}

void TestFtpClient::inputBlockedAndBusyWhileWorking()
{
    // A refused login keeps the client busy for a second or more: time
    // enough to try things from a timer meanwhile.
    FtpClient c;
    Recorder rec(c);
    KeyProbe probe;
    QWidget window;
    window.show();

    int keysInHandler = -1;
    rec.status.clear();
    QObject::connect(&c, &FtpClient::StatusMessage, &probe, [&] {
        if (keysInHandler < 0) {
            const int before = probe.keys;
            sendKey(&probe);
            keysInHandler = probe.keys - before;
        }
    });
    int keysFromTimer = -1;
    int busyError = 0;
    bool closed = true;
    QTimer::singleShot(300, &probe, [&] {
        const int before = probe.keys;
        sendKey(&probe);
        keysFromTimer = probe.keys - before;
        busyError = errorOf([&] { c.List(); });
        closed = window.close();
    });
    QCOMPARE(errorOf([&] { c.Connect(server_.host(), TestFtpServer::user(), QStringLiteral("wrongpass")); }),
             kErrCannotConnect);
    QCOMPARE(keysFromTimer, 0);
    QCOMPARE(busyError, kErrTransfer);
    QVERIFY(!closed);
    QVERIFY(window.isVisible());
    // Inside an event handler input stays possible (a message box there
    // must remain usable).
    QCOMPARE(keysInHandler, 1);

    // Afterwards everything is delivered again.
    sendKey(&probe);
    QCOMPARE(probe.keys, 2);
    QVERIFY(window.close());
}

QTEST_MAIN(TestFtpClient)
#include "test_ftpclient.moc"
