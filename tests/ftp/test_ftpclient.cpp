#include "ftp/ftpclient.h"
#include "ftp/ftpevents.h"
#include "ftp/ftpsettings.h"
#include "ftp/tlstrust.h"
#include "harness/fakeplatform.h"
#include "harness/testutil.h"
#include "support/tagini.h"
#include "support/globals.h"
#include "support/ui/inputblocker.h"

#include <QKeyEvent>
#include <QWidget>
#include <QtTest>

#include <algorithm>
#include <functional>
#include <optional>

using namespace tobra;
using namespace tobra::test;

namespace {

// Records every event of a client as one line, in order.
struct Recorder {
    QStringList events, status;
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
        QObject::connect(&c, &FtpClient::DirectoryChanged, [this](const QString &p) { events << "dir " + p; });
        QObject::connect(&c, &FtpClient::TransferStarting, [this](const QString &l, const QString &r, qint64 n, int dir) {
            events << QStringLiteral("starting %1 %2 %3 %4").arg(l, r).arg(n).arg(dir);
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
            events << QStringLiteral("complete %1 %2 %3").arg(r, l).arg(down);
        });
        QObject::connect(&c, &FtpClient::TransferCancelled, [this](const QString &r, const QString &l, bool down) {
            events << QStringLiteral("cancelled %1 %2 %3").arg(r, l).arg(down);
        });
    }
    bool saw(const QString &prefix) const
    {
        return std::any_of(events.begin(), events.end(), [&](const QString &e) { return e.startsWith(prefix); });
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

FtpTls tlsOf(TlsMode mode, const QString &pin, const QString &knownServersFile = {})
{
    FtpTls t;
    t.mode = mode;
    t.pin = pin;
    t.knownServersFile = knownServersFile;
    return t;
}

void login(FtpClient &c, const TestFtpServer &server)
{
    c.Connect(server.host(), TestFtpServer::user(), TestFtpServer::password());
}

// Counts the key presses that reach it.
struct KeyProbe : QWidget {
    int keys = 0;
    bool event(QEvent *e) override
    {
        keys += e->type() == QEvent::KeyPress;
        return QWidget::event(e);
    }
    int press()
    {
        const int before = keys;
        QKeyEvent key(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QCoreApplication::sendEvent(this, &key);
        return keys - before;
    }
};

}  // namespace

class TestFtpClient : public QObject {
    Q_OBJECT
    TestFtpServer server_;
    QTemporaryDir files_;

    QString makeLocal(const QString &name, qint64 size)
    {
        const QString path = files_.filePath(name);
        return writePatternFile(path, size) ? path : QString();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(files_.isValid());
        // The journal of unfinished uploads stays out of the user's home.
        qputenv("XDG_STATE_HOME", files_.filePath(QStringLiteral("state")).toLocal8Bit());
        QVERIFY2(server_.start(), qPrintable(server_.lastError()));
    }

    // One login serves folders, uploads and listings, with MLSD and with
    // LIST only.
    void oneSessionMakesListsAndSends()
    {
        for (const QStringList &serverArgs : {QStringList(), QStringList{"--no-mlsd"}}) {
            TestFtpServer server;
            QVERIFY2(server.start(serverArgs), qPrintable(server.lastError()));
            const QString local = makeLocal(QStringLiteral("listed.txt"), 70000);
            FtpClient c;
            Recorder rec(c);
            login(c, server);
            QCOMPARE(c.currentDirectory(), QStringLiteral("/"));
            c.MakeDirectory(QStringLiteral("uploads"));
            c.CD(QStringLiteral("/uploads"));
            QVERIFY(c.List().isEmpty());
            c.MakeDirectory(QStringLiteral("my folder"));
            c.MakeDirectory(QStringLiteral("\\top level"));  // absolute: made at the root
            QVERIFY(QDir(server.root() + "/uploads/my folder").exists() && QDir(server.root() + "/top level").exists());
            c.PutFile(local);
            c.PutFile(local, QStringLiteral("/uploads/T3"));

            QStringList entries;
            for (const FtpListEntry &e : c.List())   // a file has a date
                entries << QStringLiteral("%1|%2|%3").arg(e.Name).arg(e.IsFile).arg(e.IsFile && e.DateTime.size() ? e.Size : 0);
            entries.sort();
            QCOMPARE(entries, (QStringList{"LISTED.TXT|-1|70000", "T3|0|0", "my folder|0|0"}));
            // A refused MLSD is asked only once per connection.
            const qsizetype seen = rec.status.size();
            QCOMPARE(c.List().size(), 3);
            QVERIFY2(rec.status.mid(seen).filter(QRegularExpression("^50[0-4] ")).isEmpty(),
                     qPrintable(rec.status.mid(seen).join('\n')));
            c.CD(QStringLiteral("T3"));
            QVERIFY(c.List().size() == 1 && c.loginCount() == 1 && server.loginCount() == 1);

            c.Reconnect();   // back at the login folder: "uploads" and "top level"
            QVERIFY(c.List().size() == 2 && c.loginCount() == 2 && server.loginCount() == 2);
            QCOMPARE(errorOf([&] { c.MakeDirectory(QStringLiteral("/uploads/my folder")); }), kErrRemoteFolder);
            QVERIFY(c.Connected());
            // The server echoes names: neither a folder named like the password
            // nor an override character may reach a status line.
            const QString pw = TestFtpServer::password();
            c.MakeDirectory(QStringLiteral("x") + QChar(0x202E) + QStringLiteral("y"));
            c.MakeDirectory(pw);
            c.CD(pw);
            c.List();
            c.PutFile(local);
            c.Disconnect();
            QVERIFY(server.stop());
            QCOMPARE(rec.events.filter(QStringLiteral("state")), (QStringList{"state 1", "state 0", "state 1", "state 0"}));
            QVERIFY(!rec.status.filter(QRegularExpression("^230 ")).isEmpty() && !rec.status.filter("/*****").isEmpty());
            for (const QString &line : rec.status)
                QVERIFY2(!line.contains(pw) && !line.startsWith("PASS") && !line.contains(QChar(0x202E)) && line == line.trimmed(),
                         qPrintable(line));
        }
    }

    // Host texts as CHAT.INI may hold them, against a server of its own
    // listening on the address given (empty: none). A failure comes in
    // bounded time, says why, and never shows the password.
    void connectForms()
    {
        const QString pw = TestFtpServer::password();
        const int fail = kErrCannotConnect;
        // Address, host text (%1: the port), port argument (-1: the server's), password, error, seconds.
        const struct { QString address, host; int port; QString password; int error, seconds; } rows[] = {
            {"127.0.0.1", "127.0.0.1:%1", 21, pw, 0, 5}, {"127.0.0.1", "127.0.0.1", -1, pw, 0, 5},
            {"127.0.0.1", "  127.0.0.1:%1 ", 1, pw, 0, 5},   // blanks; the port in the text wins
            {"::1", "[::1]:%1", 21, pw, 0, 5}, {"::1", "[::1]", -1, pw, 0, 5},
            {"127.0.0.1", "127.0.0.1:%1", 21, "wrongpass", fail, 14},
            {"", QStringLiteral("127.0.0.1:%1").arg(closedPort()), 21, pw, fail, 3},   // nothing listening
            {"", "127.0.0.1:70000", 21, pw, fail, 1}, {"", "ftp://x/y", 21, pw, fail, 1}, {"", "", 21, pw, fail, 1},
        };
        for (const auto &r : rows) {
            TestFtpServer server;
            if (!r.address.isEmpty() && !server.start({QStringLiteral("--host"), r.address})) {
                QVERIFY2(r.address.contains(':'), qPrintable(server.lastError()));
                qWarning("no IPv6 loopback here");
                continue;
            }
            const QString host = r.host.contains("%1") ? r.host.arg(server.port()) : r.host;
            QVERIFY(!host.endsWith(QLatin1String(":0")));
            FtpClient c;
            Recorder rec(c);
            QElapsedTimer t;
            t.start();
            QString why;
            const int port = r.port < 0 ? server.port() : r.port;
            QCOMPARE(errorOf([&] { c.Connect(host, TestFtpServer::user(), r.password, port); }, &why), r.error);
            QVERIFY2(t.elapsed() < r.seconds * 1000, qPrintable(host + ": " + QString::number(t.elapsed())));
            if (r.error == 0)
                c.MakeDirectory(QStringLiteral("seen"));
            QVERIFY(r.error ? !why.isEmpty() && !c.Connected() && c.loginCount() == 0 && !rec.saw(QStringLiteral("state"))
                            : QDir(server.root() + QStringLiteral("/seen")).exists());
            for (const QString &line : rec.status)
                QVERIFY2(!line.contains(r.password), qPrintable(line));
        }
    }

    void changeDirectory()
    {
        QDir(server_.root()).mkpath(QStringLiteral("cdtest/T3/deep"));
        QVERIFY(writePatternFile(server_.root() + QStringLiteral("/cdtest/afile"), 5));
        FtpClient c;
        Recorder rec(c);
        login(c, server_);
        // The window lists the new folder from this signal, so the client must
        // be free again when it is emitted.
        int listErrors = 0;
        QObject::connect(&c, &FtpClient::DirectoryChanged, [&] { listErrors += errorOf([&] { c.List(); }) != 0; });
        // Path, error, folder afterwards.
        const struct { QString path; int error; QString after; } steps[] = {
            {"/cdtest", 0, "/cdtest"}, {"T3", 0, "/cdtest/T3"}, {"..", 0, "/cdtest"},
            {"\\cdtest\\T3\\deep", 0, "/cdtest/T3/deep"}, {"../../T3/./deep/..", 0, "/cdtest/T3"},
            {"missing", kErrRemoteFolder, "/cdtest/T3"}, {"/cdtest/missing", kErrRemoteFolder, "/cdtest/T3"},
            {"/cdtest/afile", kErrRemoteFolder, "/cdtest/T3"}, {"", kErrRemoteFolder, "/cdtest/T3"},
            {"/", 0, "/"}, {"..", 0, "/"},   // never above the root
        };
        for (const auto &s : steps) {
            const QByteArray step = "CD(\"" + s.path.toUtf8() + "\")";
            rec.events.clear();
            QVERIFY2(errorOf([&] { c.CD(s.path); }) == s.error, step);
            QVERIFY2(c.currentDirectory() == s.after, step + " left " + c.currentDirectory().toUtf8());
            QVERIFY2(rec.events == (s.error ? QStringList() : QStringList{QStringLiteral("dir ") + s.after}), step);
        }
        QCOMPARE(listErrors, 0);
    }

    void putFile()
    {
        // Local name, size, remote folder, given relative to the local
        // directory, where it lands.
        const struct { QString local; qint64 size; QString folder; bool relative; QString remote; } rows[] = {
            {"report.zip", 3 * 1024 * 1024 + 17, "/uploads/T3", false, "uploads/T3/REPORT.ZIP"},
            {"notes", 1000, "\\uploads\\V7", false, "uploads/V7/NOTES."},
            {"my file #1.tar.gz", 100000, "/uploads/a b", false, "uploads/a b/MY FILE #1.TAR.GZ"},
            {"100%?.dat", 4096, "/up/50%", false, "up/50%/100%?.DAT"},
            {QString::fromUtf8("grüße.txt"), 10, QString::fromUtf8("/ü"), false, QString::fromUtf8("ü/GRÜSSE.TXT")},
            {"here.bin", 777, "", false, "HERE.BIN"},   // the current folder
            {"rel.bin", 65537, "/r", true, "r/REL.BIN"},
            {"empty.txt", 0, "/e", false, "e/EMPTY.TXT"},
            {"big.dat", 9 * 1024 * 1024 + 3, "/big", false, "big/BIG.DAT"},   // larger than a buffer
        };
        for (const auto &r : rows) {
            const QString local = makeLocal(r.local, r.size);
            FtpClient c;
            Recorder rec(c);
            login(c, server_);
            c.setLocalDirectory(files_.path() + (r.relative ? QStringLiteral("/") : QString()));
            rec.events.clear();
            QElapsedTimer t;
            t.start();
            c.PutFile(r.relative ? r.local : local, r.folder);
            const qint64 ms = t.elapsed();
            rec.events << QStringLiteral("returned");
            QVERIFY(sameFileContents(local, server_.root() + QLatin1Char('/') + r.remote));
            const QString name = r.remote.section(QLatin1Char('/'), -1);
            QCOMPARE(rec.events, (QStringList{QStringLiteral("starting %1 %2 %3 1").arg(local, name).arg(r.size), "progress",
                                              QStringLiteral("complete %1 %2 0").arg(name, local), "returned"}));
            QVERIFY(rec.progress.last() == r.size && std::is_sorted(rec.progress.begin(), rec.progress.end()));
            // Throttled: about ten a second plus the last one.
            QVERIFY2(rec.progress.size() <= 2 + ms / 90, qPrintable(QString::number(rec.progress.size())));
        }
    }

    // Refused before anything is sent: without a connection, with a local
    // file that cannot be sent, and with a name holding a line break or
    // another control character, which must never become part of a command.
    void refusedBeforeSending()
    {
        QVERIFY(writePatternFile(server_.root() + QStringLiteral("/victim"), 3));
        const QString local = makeLocal(QStringLiteral("fine.txt"), 10), nul = QStringLiteral("x") + QChar(0) + "y";
        QDir(files_.path()).mkpath(QStringLiteral("adir.d"));
        using Op = std::function<void(FtpClient &)>;
        const int none = kErrNotConnected, file = kErrLocalFile, bad = kErrBadName;
        const struct { bool login; Op op; int error; } rows[] = {
            {false, [](FtpClient &c) { c.CD("/"); }, none},
            {false, [](FtpClient &c) { c.List(); }, none},
            {false, [](FtpClient &c) { c.MakeDirectory("x"); }, none},
            {false, [&](FtpClient &c) { c.PutFile(local); }, none},
            {false, [](FtpClient &c) { c.Reconnect(); }, none},
            {true, [](FtpClient &c) { c.PutFile("adir.d", "/lf"); }, file},
            {true, [](FtpClient &c) { c.PutFile("not-there.txt", "/lf"); }, file},
            {true, [&](FtpClient &c) { c.PutFile(files_.path() + "/gone/x.txt", "/lf"); }, file},
            {true, [](FtpClient &c) { c.CD("a\nb"); }, bad},
            {true, [](FtpClient &c) { c.MakeDirectory("x\r\nDELE victim"); }, bad},
            {true, [&](FtpClient &c) { c.MakeDirectory(nul); }, bad},
            {true, [](FtpClient &c) { c.PutFile("bad\x01name.txt"); }, bad},
            {true, [](FtpClient &c) { c.PutFile("fine.txt", "/up\rx"); }, bad},
            {true, [](FtpClient &c) { c.PutFile("somewhere/"); }, bad},
            {true, [&](FtpClient &c) { c.Connect(server_.host(), "ftpuser\r\nDELE x", TestFtpServer::password()); }, bad},
        };
        for (const auto &r : rows) {
            FtpClient c;
            Recorder rec(c);
            if (r.login)
                login(c, server_);
            c.setLocalDirectory(files_.path());
            QCOMPARE(errorOf([&] { r.op(c); }), r.error);
            QVERIFY(!rec.saw(QStringLiteral("starting")) && QFile::exists(server_.root() + QStringLiteral("/victim")));
            QVERIFY(!QDir(server_.root() + QStringLiteral("/lf")).exists() && (r.error != kErrLocalFile || c.Connected()));
        }
    }

    // A cancel from the progress handler, from anywhere while the server
    // has stopped reading, or the application quitting meanwhile: the
    // upload ends within a second, the temporary file goes, and an earlier
    // complete file stays.
    void cancelledUploadLeavesNothing()
    {
        for (const QString how : {"handler", "request", "quit"}) {
            TestFtpServer server;
            QVERIFY2(server.start({QStringLiteral("--stall-after"), QStringLiteral("2000000")}), qPrintable(server.lastError()));
            const QString local = makeLocal(QStringLiteral("cancel.bin"), 48 * 1024 * 1024);
            const QString previous = server.root() + QStringLiteral("/cancel/CANCEL.BIN");
            QVERIFY(writeBytes(previous, "the complete earlier version"));
            FtpClient c;
            Recorder rec(c);
            QElapsedTimer t;
            if (how == "handler") {
                rec.onProgress = [](bool *cancel) { *cancel = true; };
            } else {
                QTimer::singleShot(1500, &c, [&] {
                    t.start();
                    how == "quit" ? QCoreApplication::exit(0) : c.requestCancel();
                });
            }
            login(c, server);
            QCOMPARE(errorOf([&] { c.PutFile(local, QStringLiteral("/cancel")); }), kErrCancelled);
            if (how == "quit") {
                // Let later tests wait in event loops again.
                QTimer::singleShot(0, qApp, &QCoreApplication::quit);
                QCoreApplication::exec();
            }
            QVERIFY2(how == "handler" || t.elapsed() < 1000, qPrintable(QString::number(t.elapsed())));
            QVERIFY(!rec.progress.isEmpty() && rec.progress.first() < 48 * 1024 * 1024);
            QVERIFY(rec.saw(QStringLiteral("cancelled CANCEL.BIN %1 0").arg(local)));
            QVERIFY(!rec.saw(QStringLiteral("complete")) && !rec.saw(QStringLiteral("state -2")));
            QCOMPARE(readBytes(previous), QByteArray("the complete earlier version"));
            if (how == "quit")
                continue;   // a quitting program sends nothing more
            QCOMPARE(partFiles(server.root() + QStringLiteral("/cancel")), QStringList());
            // A requested cancel holds for every later operation until cleared.
            QCOMPARE(errorOf([&] { c.List(); }), how == "handler" ? 0 : kErrCancelled);
            c.clearCancel();
            // The session goes on; libcurl logs in again behind the scenes.
            QVERIFY(c.Connected());
            c.CD(QStringLiteral("/cancel"));
            QCOMPARE(c.loginCount(), server.loginCount());
        }
    }

    // The server resets the connection in the middle of the first uploads,
    // or just after the last byte. The handler of the lost state reconnects
    // (as the windows' Yes does) and the upload resumes from what the server
    // holds and ends whole. (Retries without a handler: test_unattended.)
    void resumesAfterDrops()
    {
        const qint64 size = 8 * 1024 * 1024;
        const QString lost = "state -2", up = "state 1";
        // Drops, bytes into each, who reconnects, states seen, error.
        const struct { int drops; qint64 after; QString mode; QStringList states; int error; } rows[] = {
            {1, 1000000, "handler", {lost, up}, 0},
            {2, 1000000, "handler", {lost, up, lost, up}, 0},
            {1, size, "handler", {lost, up}, 0},   // all sent, no reply yet
            {1, 1000000, "none", {lost}, kErrTransfer},
        };
        for (const auto &r : rows) {
            TestFtpServer server;
            QVERIFY2(server.start({"--drop-after", QString::number(r.after), "--fault-uploads", QString::number(r.drops)}),
                     qPrintable(server.lastError()));
            const QString local = makeLocal(QStringLiteral("drop.bin"), size);
            FtpClient c;
            Recorder rec(c);
            bool connectedInHandler = false;
            rec.onState = [&](int state) {
                if (state != FtpStateLost)
                    return;
                connectedInHandler = c.Connected();
                if (r.mode == "handler")
                    c.Reconnect();
            };
            login(c, server);
            rec.events.clear();
            QCOMPARE(errorOf([&] { c.PutFile(local, QStringLiteral("/drop")); }), r.error);
            QVERIFY(!connectedInHandler);
            QCOMPARE(rec.events.filter(QStringLiteral("state")), r.states);
            const QString remote = server.root() + QStringLiteral("/drop/DROP.BIN");
            if (r.error == 0) {
                QVERIFY(sameFileContents(local, remote));
                // Resumed, not started over.
                QVERIFY2(server.bytesReceived() < size + 1024 * 1024, qPrintable(QString::number(server.bytesReceived())));
                QCOMPARE(partFiles(server.root() + QStringLiteral("/drop")), QStringList());
                QCOMPARE(server.loginCount(), 1 + r.drops);
            } else {
                QVERIFY(!QFile::exists(remote) && !rec.saw(QStringLiteral("complete")));
                QCOMPARE(errorOf([&] { c.List(); }), kErrNotConnected);
            }
        }
    }

    // Beyond 4 GiB: sizes, progress and the resume offset in 64 bits. A
    // sparse file of zeros, and a server that skips zeros, keep it off the
    // disk.
    void largerThanFourGiB()
    {
        TestFtpServer server;
        QVERIFY2(server.start({"--sparse", "--drop-after", "4600000000", "--fault-uploads", "1"}),
                 qPrintable(server.lastError()));
        const qint64 size = qint64(5) << 30;
        const QString local = files_.filePath(QStringLiteral("huge.bin"));
        QVERIFY(writeBytes(local, {}) && QFile::resize(local, size));
        FtpClient c;
        Recorder rec(c);
        c.setRetryPolicy({60000, 10, 10});
        qsizetype resumedAt = -1;
        rec.onState = [&](int state) {
            if (state == FtpStateConnected && resumedAt < 0 && !rec.progress.isEmpty())
                resumedAt = rec.progress.size();
        };
        login(c, server);
        c.PutFile(local, QStringLiteral("/huge"));
        QFile::remove(local);
        QVERIFY(QFileInfo(server.root() + QStringLiteral("/huge/HUGE.BIN")).size() == size && rec.progress.last() == size);
        QVERIFY(resumedAt > 0 && resumedAt < rec.progress.size());
        const QList<qint64> after = rec.progress.mid(resumedAt);
        QVERIFY2(after.first() > qint64(4) << 30, qPrintable(QString::number(after.first())));
        QVERIFY(std::is_sorted(after.begin(), after.end()));
        QVERIFY2(server.bytesReceived() < size + 1024 * 1024, qPrintable(QString::number(server.bytesReceived())));
    }

    // TLS as CHAT.INI sets it, against a plain server, one that offers TLS,
    // one that requires it and one that refuses TLS on the data connection
    // (PROT P). An untrusted certificate, a refused AUTH that TLS is
    // required of, and a refused PROT P stop the connection before anything
    // goes in clear text. (A man in the middle: test_unattended.)
    void tlsPolicies()
    {
        TestCertificate cert;
        QVERIFY(makeTestCertificate(files_.path(), QStringLiteral("localhost"), &cert));
        const QString wrongPin = QStringLiteral("sha256//") + QString(43, QLatin1Char('A')) + QLatin1Char('=');
        const QString how = "If that is expected, set TLS=off in CHAT.INI [PREFERENCES].";
        // Server, TLS setting, error, reason.
        const struct { QString server; FtpTls tls; int error; QString reason; } rows[] = {
            {"requires", tlsOf(TlsMode::Auto, cert.pin), 0, ""},
            {"plain", tlsOf(TlsMode::Auto, ""), 0, ""},
            {"offers", tlsOf(TlsMode::Required, cert.pin), 0, ""},
            {"plain", tlsOf(TlsMode::Required, ""), kErrCannotConnect,
             "refused AUTH TLS (reply 500): it offers no TLS now, and TLS is required because CHAT.INI says TLS=required. " + how},
            {"requires", tlsOf(TlsMode::Off, ""), kErrCannotConnect, "refused"},
            {"offers", tlsOf(TlsMode::Auto, ""), kErrUntrustedServer, "cannot be verified. Its key is sha256//"},
            {"offers", tlsOf(TlsMode::Auto, wrongPin), kErrUntrustedServer, "does not carry the key CHAT.INI trusts"},
            {"no PROT P", tlsOf(TlsMode::Auto, cert.pin), kErrCannotConnect, "accepted AUTH TLS but refused PROT P (reply 536): files would travel in clear text on the data connection. " + how},
            {"no PROT P", tlsOf(TlsMode::Required, cert.pin), kErrCannotConnect, "refused PROT P (reply 536)"},
        };
        for (const auto &r : rows) {
            const QStringList more = r.server == "no PROT P" ? QStringList{"--refuse-prot"} : QStringList();
            TestFtpServer s;
            QVERIFY2(s.start(r.server == "plain" ? QStringList() : cert.serverArgs(r.server == "requires") + more),
                     qPrintable(s.lastError()));
            FtpClient c;
            Recorder rec(c);
            c.setTls(r.tls);
            c.setTimeouts({5, 5});
            QString why;
            QCOMPARE(errorOf([&] { login(c, s); }, &why), r.error);
            QVERIFY2(why.contains(r.reason), qPrintable(why));
            if (r.error == 0) {
                QCOMPARE(c.encrypted(), r.server != "plain");
                const QString local = makeLocal(QStringLiteral("secret.db"), 300000);
                c.PutFile(local, QStringLiteral("/tls"));
                QVERIFY(sameFileContents(local, s.root() + QStringLiteral("/tls/SECRET.DB")));
            } else if (r.error == kErrUntrustedServer) {
                // Nothing of the login went to a server nobody trusts.
                QVERIFY(c.serverKeyPin() == cert.pin && s.loginCount() == 0 && rec.status.filter("331").isEmpty());
            } else if (r.server != "requires") {
                // The password went over TLS or not at all.
                QVERIFY(s.clearTextLogins() == 0 && s.loginCount() == (r.server == "no PROT P" ? 1 : 0));
            }
        }
    }

    // A TLS login remembers the server; the session's reconnect after a
    // drop is over TLS or nothing, even without the pin. Forgotten (its
    // line gone, in a broken file too) or with TLS=off it gets plain FTP.
    // (The next run refused by what is remembered: test_unattended.)
    void tlsSticksToAServer()
    {
        TestCertificate cert;
        QVERIFY(makeTestCertificate(files_.path(), QStringLiteral("localhost"), &cert));
        TestFtpServer s;
        // A man in the middle strips every connection after the first.
        QVERIFY2(s.start(cert.serverArgs(false) + QStringList{"--refuse-auth-after", "1", "--drop-after", "3000000"}),
                 qPrintable(s.lastError()));
        const QString known = files_.filePath("state/tls-servers"), key = tlsServerKey("127.0.0.1", s.port());
        QFile::remove(known);
        {
            FtpClient c;
            c.setTls(tlsOf(TlsMode::Auto, cert.pin, known));
            login(c, s);
            QVERIFY(c.encrypted() && isKnownTlsServer(known, key));
            // The rest of the session without the pin and the file: the
            // reconnect after the drop is over TLS or nothing.
            c.setTls(tlsOf(TlsMode::Auto, ""));
            c.setRetryPolicy({60000, 10, 10});
            const QString local = makeLocal(QStringLiteral("drop.bin"), 8 * 1024 * 1024);
            // Given up at the first refusal, with the refusal's own error.
            QElapsedTimer t;
            t.start();
            QCOMPARE(errorOf([&] { c.PutFile(local, QStringLiteral("/sticky")); }), kErrCannotConnect);
            QVERIFY2(t.elapsed() < 10000, qPrintable(QString::number(t.elapsed())));
            QString why;
            QCOMPARE(errorOf([&] { c.Reconnect(); }, &why), kErrCannotConnect);
            QVERIFY2(why.contains("refused AUTH TLS (reply 502): it offers no TLS now, and TLS is required because this "
                                  "session logged in to it over TLS."),
                     qPrintable(why));
        }
        QVERIFY(s.loginCount() == 1 && s.clearTextLogins() == 0);
        QVERIFY(!QFile::exists(s.root() + "/sticky/DROP.BIN") && s.bytesReceived() <= 3000000 + 1024 * 1024);
        FtpClient c;
        c.setTls(tlsOf(TlsMode::Auto, "", known));
        QVERIFY(writeBytes(known, "# note\n" + QByteArray("\x01\xff garbage\n") + "other.example:21\n"));
        login(c, s);
        QVERIFY(!c.encrypted() && !isKnownTlsServer(known, key) && isKnownTlsServer(known, "OTHER.example:21"));
        QVERIFY(writeBytes(known, key.toUtf8() + "\n"));
        c.setTls(tlsOf(TlsMode::Off, "", known));
        login(c, s);
        QVERIFY(!c.encrypted() && s.clearTextLogins() == 2);
    }

    // One CHAT.INI: where C:\APPRAISE\ exists, TLS, CERT and the time-outs
    // come from the file the address comes from, and CERT goes there,
    // whatever a CHAT.INI in the Windows directory says.
    void chatIniIsOneFile()
    {
        QTemporaryDir root;
        auto fake = std::make_shared<FakePlatform>();
        fake->windowsDir = root.filePath("WINDOWS");
        fake->folders.insert("C:\\APPRAISE\\");
        const auto restore = qScopeGuard([cwd = QDir::currentPath(), old = setPlatform(fake)] {
            setPlatform(old);
            QDir::setCurrent(cwd);
        });
        QVERIFY(QDir::setCurrent(root.path()));   // "C:\APPRAISE\" is a relative path here
        const QString appraise = root.filePath("C:/APPRAISE/chat.ini");
        QVERIFY(writeBytes(appraise, "[PREFERENCES]\r\nURL=ftp.appraise.example\r\nTLS=off\r\nCONNECTTIMEOUT=33\r\n"));
        QVERIFY(writeBytes(root.filePath("WINDOWS/CHAT.INI"), "[PREFERENCES]\r\nURL=ftp.windows.example\r\nTLS=required\r\n"
                                                              "CONNECTTIMEOUT=44\r\nCERT=sha256//" + QByteArray(43, 'C') + "=\r\n"));
        QCOMPARE(tagReadValue("<WINDIR>CHAT.INI[PREFERENCES]URL|x"), QString("ftp.appraise.example"));
        QVERIFY(tlsFromSettings().mode == TlsMode::Off && tlsFromSettings().pin.isEmpty());
        QCOMPARE(timeoutsFromSettings().connectSeconds, 33);
        const QString pin = "sha256//" + QString(43, 'D') + "=";
        QVERIFY(trustServerKey(pin));
        QCOMPARE(tlsFromSettings().pin, pin);
        QVERIFY(readBytes(appraise).endsWith("CERT=" + pin.toUtf8() + "\r\n"));
    }

    // Until the server holds the whole file, an earlier file of the final
    // name stays as it was; then the new one takes its place in one step.
    // Only a server that does not know RNFR or RNTO gets the file under its
    // final name (the temporary one is deleted), and later uploads go
    // straight there; any other refusal fails the upload and leaves the
    // final name alone. Another upload's temporary files stay untouched.
    void uploadReplacesInOneStep()
    {
        const QString a = makeLocal(QStringLiteral("swap.bin"), 16 * 1024 * 1024);
        const QString b = makeLocal(QStringLiteral("second.txt"), 5000);
        const QStringList foreign{QStringLiteral("SWAP.BIN.0123456789abcdef.tobra-part"), QStringLiteral("SWAP.BIN.tobra-part")};
        // Server arguments, whether the final name is written directly, error.
        const struct { QStringList args; bool direct; int error; } rows[] = {
            {{}, false, 0},
            {{"--rnfr-reply", "502"}, true, 0},
            {{"--rnto-reply", "504"}, true, 0},
            {{"--rnfr-reply", "550"}, false, kErrTransfer},
            {{"--rnto-reply", "550"}, false, kErrTransfer},
        };
        for (const auto &r : rows) {
            TestFtpServer server;
            QVERIFY2(server.start(r.args), qPrintable(server.lastError()));
            const QString folder = server.root() + QStringLiteral("/swap");
            const QString finalPath = folder + QStringLiteral("/SWAP.BIN");
            QVERIFY(writeBytes(finalPath, "old"));
            for (const QString &f : foreign)
                QVERIFY(writeBytes(folder + QLatin1Char('/') + f, "another upload's"));
            FtpClient c;
            Recorder rec(c);
            QByteArray finalDuring;
            QStringList partsDuring;
            rec.onProgress = [&](bool *) {
                if (rec.progress.size() == 1) {
                    finalDuring = readBytes(finalPath);
                    partsDuring = partFiles(folder);
                }
            };
            login(c, server);
            QString why;
            QCOMPARE(errorOf([&] { c.PutFile(a, QStringLiteral("/swap")); }, &why), r.error);
            const int second = errorOf([&] { c.PutFile(b, QStringLiteral("/swap")); });
            QVERIFY2(r.direct || (finalDuring == "old" && partsDuring.size() == 3), qPrintable(partsDuring.join(' ')));
            QCOMPARE(partFiles(folder), foreign);
            for (const QString &f : foreign)
                QCOMPARE(readBytes(folder + QLatin1Char('/') + f), QByteArray("another upload's"));
            if (r.error == 0) {
                QVERIFY(sameFileContents(a, finalPath) && second == 0);
                QVERIFY(sameFileContents(b, folder + QStringLiteral("/SECOND.TXT")));
            } else {
                // Refused about its own file: failed, and never written in place.
                QVERIFY2(why.contains(QStringLiteral("Renaming is not allowed")), qPrintable(why));
                QVERIFY(readBytes(finalPath) == "old" && second == kErrTransfer && !QFile::exists(folder + "/SECOND.TXT"));
            }
            QVERIFY(c.loginCount() == 1 && server.loginCount() == 1);
        }
    }

    // A server that computes checksums proves each upload by one. One that
    // changes a byte but keeps the size never yields a success: the upload
    // is sent once more, and fails when the second copy differs too, naming
    // both digests. A drop resumes after the first bytes are compared.
    void checksumProvesTheFile()
    {
        const qint64 size = 3 * 1024 * 1024 + 5;
        const QString local = makeLocal(QStringLiteral("proven.bin"), size);
        // Server arguments, error, uploads the server saw start, logins.
        const struct { QStringList args; int error; int sends; int logins; } rows[] = {
            {{"--hash", "HASH"}, 0, 1, 1},
            {{"--hash", "X"}, 0, 1, 1},
            {{"--hash", "HASH", "--flip-byte", "--fault-uploads", "1"}, 0, 2, 1},
            {{"--hash", "X", "--flip-byte"}, kErrTransfer, 2, 1},
            {{"--hash", "HASH", "--flip-byte"}, kErrTransfer, 2, 1},
            {{"--hash", "HASH", "--drop-after", "1000000", "--fault-uploads", "1"}, 0, 2, 2},
        };
        for (const auto &r : rows) {
            TestFtpServer server;
            QVERIFY2(server.start(r.args), qPrintable(server.lastError()));
            QVERIFY(writeBytes(server.root() + QStringLiteral("/p/PROVEN.BIN"), "old"));
            FtpClient c;
            Recorder rec(c);
            c.setRetryPolicy({60000, 10, 10});
            login(c, server);
            QString why;
            try {
                c.PutFile(local, QStringLiteral("/p"));
            } catch (const FtpError &e) {
                QCOMPARE(e.number(), r.error);
                why = e.reason();
            }
            QVERIFY2(r.error || why.isEmpty(), qPrintable(why));
            const QString remote = server.root() + QStringLiteral("/p/PROVEN.BIN");
            if (r.error == 0) {
                QVERIFY(sameFileContents(local, remote));
            } else {
                QVERIFY2(QRegularExpression("^The server's (SHA-256|SHA-1) of the file is [0-9a-f]{40,64}, "
                                            "the local file's is [0-9a-f]{40,64}\\.$")
                             .match(why)
                             .hasMatch(),
                         qPrintable(why));
                QCOMPARE(readBytes(remote), QByteArray("old"));
            }
            QCOMPARE(partFiles(server.root() + QStringLiteral("/p")), QStringList());
            QCOMPARE(server.uploadsEnded(), r.sends);
            QCOMPARE(server.loginCount(), r.logins);
            // Resumed, not sent again from the start.
            if (r.args.contains("--drop-after"))
                QVERIFY2(server.bytesReceived() < size + 1024 * 1024, qPrintable(QString::number(server.bytesReceived())));
        }
    }

    // A server that takes seconds to digest a big file is not stalled: the
    // silence allowed grows with the file (20 MiB a second), after the data
    // and for a proof asked on its own (the connection dropped just after
    // the last byte: the first bytes are compared, then the whole file).
    void slowChecksumIsNotAStall()
    {
        const qint64 size = 80 << 20;
        const QString local = makeLocal(QStringLiteral("slow.bin"), size);
        for (bool dropAtEnd : {false, true}) {
            TestFtpServer server;
            QStringList args{"--hash", "HASH", "--hash-delay", "2.5"};
            if (dropAtEnd)
                args << "--drop-after" << QString::number(size) << "--fault-uploads" << "1";
            QVERIFY2(server.start(args), qPrintable(server.lastError()));
            FtpClient c;
            c.setTimeouts({5, 1});
            c.setRetryPolicy({60000, 10, 10});
            login(c, server);
            c.PutFile(local, QStringLiteral("/slow"));
            QVERIFY(sameFileContents(local, server.root() + QStringLiteral("/slow/SLOW.BIN")));
            QCOMPARE(server.uploadsEnded(), 1);
            QCOMPARE(server.loginCount(), dropAtEnd ? 2 : 1);
        }
        QFile::remove(local);
    }

    // Each failure keeps the reason (what the server said to which command,
    // or how the connection failed), leaves nothing under the final name or
    // the temporary one, and a stalled server is given up in bounded time.
    void failuresSayWhy()
    {
        // Server arguments, folder (empty: only the connect), error, reason
        // (a regular expression), size, connect limit, the kind of next step.
        using enum FailureKind;
        const struct { QStringList serverArgs; QString folder; int error; QString reason; qint64 size; int connectLimit; FailureKind kind; }
            rows[] = {
            {{"--reply-delay", "3"}, "", kErrCannotConnect, "^No answer from 127\\.0\\.0\\.1 \\(port \\d+\\) within 1 s\\.$",
             1, 1, NotAnswering},
            {{"--refuse-stor"}, "/w", kErrTransfer, "^The server refused STOR .*: 550 Uploads are not allowed here\\.$", 5000, 5,
             ServerRefused},
            // A file where the folder should be: the MKD is the refusal, not the CWD after it.
            {{}, "/blocked/T9", kErrRemoteFolder, "^The server refused MKD T9: 550 ", 1, 5, ServerRefused},
            // The server claims success: only the size check afterwards can tell.
            {{"--short-store", "1000"}, "/s", kErrTransfer,
             "^The server holds 1000 bytes, fewer than the 300000 bytes of the local file\\.$", 300000, 5, ServerRefused},
            {{"--extra-store", "7"}, "/s", kErrTransfer,
             "^The server holds 300007 bytes, more than the 300000 bytes of the local file\\.$", 300000, 5, ServerRefused},
            // Stalled, with more than the loopback socket buffers can swallow.
            {{"--stall-after", "1000000"}, "/f", kErrTransfer, "", 48 << 20, 5, NotAnswering},
        };
        for (const auto &r : rows) {
            const bool stalled = r.serverArgs.contains("--stall-after");
            TestFtpServer server;
            QVERIFY2(server.start(r.serverArgs), qPrintable(server.lastError()));
            QVERIFY(writeBytes(server.root() + QStringLiteral("/blocked/T9"), "a file, not a folder"));
            const QString local = makeLocal(QStringLiteral("why.bin"), r.size);
            FtpClient c;
            Recorder rec(c);
            c.setTimeouts({r.connectLimit, stalled ? 2 : 5});
            QElapsedTimer t;
            std::optional<FtpError> e;
            try {
                login(c, server);
                t.start();
                if (!r.folder.isEmpty())
                    c.PutFile(local, r.folder);
            } catch (const FtpError &caught) {
                e = caught;
            }
            QVERIFY2(e && e->number() == r.error, qPrintable(r.serverArgs.join(' ')));
            QVERIFY2(QRegularExpression(r.reason).match(e->reason()).hasMatch(), qPrintable(e->reason()));
            QVERIFY2(failureKindOf(*e) == r.kind, qPrintable(e->reason()));
            QVERIFY(!e->reason().contains(TestFtpServer::password()) && !rec.saw(QStringLiteral("complete")));
            const QString there = server.root() + r.folder + QStringLiteral("/WHY.BIN");
            QVERIFY(!QFile::exists(there) && (stalled || partFiles(server.root() + r.folder).isEmpty()));
            if (stalled) {
                QVERIFY2(t.elapsed() < 10000 && t.elapsed() >= 2000, qPrintable(QString::number(t.elapsed())));
                QVERIFY(server.stop());   // it must still end cleanly with a stalled transfer open
            } else if (!r.folder.isEmpty()) {
                QVERIFY(!rec.saw(QStringLiteral("state -2")) && c.Connected());
            }
        }
    }

    void inputBlockedAndBusyWhileWorking()
    {
        // A refused login keeps the client busy for a second or more: time
        // enough to try things from a timer meanwhile.
        FtpClient c;
        TransferInputBlocker blocker(c);
        c.setWaitFilter(&blocker);
        KeyProbe probe;
        QWidget window;
        window.show();
        int keysInHandler = -1, keysFromTimer = -1, busyError = 0;
        bool closed = true;
        QObject::connect(&c, &FtpClient::StatusMessage, &probe, [&] {
            if (keysInHandler < 0)
                keysInHandler = probe.press();
        });
        QTimer::singleShot(300, &probe, [&] {
            keysFromTimer = probe.press();
            busyError = errorOf([&] { c.List(); });
            closed = window.close();
        });
        QCOMPARE(errorOf([&] { c.Connect(server_.host(), TestFtpServer::user(), QStringLiteral("wrongpass")); }),
                 kErrCannotConnect);
        QVERIFY(keysFromTimer == 0 && busyError == kErrTransfer && !closed && window.isVisible());
        // Inside an event handler input stays possible (a message box there
        // must remain usable), and afterwards everything is delivered again.
        QCOMPARE(keysInHandler, 1);
        QCOMPARE(probe.press(), 1);
        QVERIFY(window.close());
    }
};

QTEST_MAIN(TestFtpClient)
#include "test_ftpclient.moc"
