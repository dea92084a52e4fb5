#include "harness/testftpserver.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <optional>

#include <signal.h>
#include <sys/prctl.h>

namespace tobra::test {

namespace {

// Runs the openssl tool: its standard output, or nothing on any failure.
std::optional<QByteArray> openssl(const QStringList &args, const QByteArray &input = QByteArray())
{
    QProcess p;
    p.start(QStringLiteral("openssl"), args);
    if (!p.waitForStarted(5000))
        return std::nullopt;
    p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return std::nullopt;
    return p.readAllStandardOutput();
}

}  // namespace

QStringList TestCertificate::serverArgs(bool required) const
{
    return QStringList{"--certfile", certFile, "--keyfile", keyFile} + (required ? QStringList{"--tls-required"} : QStringList());
}

bool makeTestCertificate(const QString &dir, const QString &commonName, TestCertificate *out)
{
    out->certFile = dir + "/cert.pem";
    out->keyFile = dir + "/key.pem";
    if (!openssl({"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=" + commonName, "-keyout",
                  out->keyFile, "-out", out->certFile}))
        return false;
    const auto publicKey = openssl({"x509", "-in", out->certFile, "-pubkey", "-noout"});
    const auto der = publicKey ? openssl({"pkey", "-pubin", "-outform", "der"}, *publicKey) : std::nullopt;
    if (!der || der->isEmpty())
        return false;
    out->pin = "sha256//" + QString::fromLatin1(QCryptographicHash::hash(*der, QCryptographicHash::Sha256).toBase64());
    return true;
}

TestFtpServer::~TestFtpServer() { stop(); }

bool TestFtpServer::start(const QStringList &extraArgs)
{
    stop();
    error_.clear();
    dir_ = std::make_unique<QTemporaryDir>();
    if (!dir_->isValid()) {
        error_ = "cannot make a temporary folder";
        return false;
    }
    QDir().mkpath(root());

    const qsizetype hostArg = extraArgs.lastIndexOf(QStringLiteral("--host"));
    address_ = (hostArg >= 0 && hostArg + 1 < extraArgs.size()) ? extraArgs.at(hostArg + 1) : "127.0.0.1";
    const QStringList args = QStringList{TOBRA_TEST_FTPSERVER, "--root", root(), "--host", "127.0.0.1", "--port", "0",
                                         "--user", user(), "--password", password(), "--login-log",
                                         dir_->filePath("logins.log"), "--bytes-log", dir_->filePath("bytes.log")}
        + extraArgs;

    proc_ = std::make_unique<QProcess>();
    proc_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // A test that crashes takes its server with it; a server left running
    // holds the test's output open and ctest waits for it until its limit.
    proc_->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    proc_->start(QStringLiteral("/usr/bin/python3"), args);
    if (!proc_->waitForStarted(5000)) {
        error_ = "python3 did not start: " + proc_->errorString();
        stop();
        return false;
    }

    // Its first line says the port it listens on.
    QDeadlineTimer deadline(10000);
    while (!proc_->canReadLine() && proc_->state() == QProcess::Running && !deadline.hasExpired())
        proc_->waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
    const QByteArray line = proc_->canReadLine() ? proc_->readLine().trimmed() : QByteArray();
    bool ok = false;
    if (line.startsWith("PORT "))
        port_ = line.mid(5).toInt(&ok);
    if (ok && port_ > 0)
        return true;
    error_ = line.isEmpty() ? QStringLiteral("server did not report its port (exit code %1)").arg(proc_->exitCode())
                            : "unexpected first line: " + QString::fromUtf8(line);
    stop();
    return false;
}

bool TestFtpServer::stop()
{
    bool clean = true;
    if (proc_) {
        if (proc_->state() != QProcess::NotRunning) {
            proc_->terminate();
            if (!proc_->waitForFinished(5000)) {
                clean = false;
                proc_->kill();
                proc_->waitForFinished(2000);
            }
        }
        clean = clean && proc_->exitStatus() == QProcess::NormalExit && proc_->exitCode() == 0;
        proc_.reset();
    }
    port_ = 0;
    return clean;
}

QString TestFtpServer::host() const
{
    return QString(address_.contains(':') ? "[%1]:%2" : "%1:%2").arg(address_).arg(port_);
}

QString TestFtpServer::root() const
{
    return dir_ ? dir_->filePath(QStringLiteral("root")) : QString();
}

int TestFtpServer::loginCount() const
{
    QFile f(dir_ ? dir_->filePath("logins.log") : QString());
    return f.open(QIODevice::ReadOnly) ? int(f.readAll().count('\n')) : 0;
}

int TestFtpServer::clearTextLogins() const
{
    QFile f(dir_ ? dir_->filePath("logins.log") : QString());
    return f.open(QIODevice::ReadOnly) ? int(f.readAll().count(" in clear text\n")) : 0;
}

qint64 TestFtpServer::bytesReceived() const
{
    QFile f(dir_ ? dir_->filePath("bytes.log") : QString());
    qint64 sum = 0;
    for (const QByteArray &line : f.open(QIODevice::ReadOnly) ? f.readAll().split('\n') : QList<QByteArray>())
        sum += line.trimmed().toLongLong();
    return sum;
}

int TestFtpServer::uploadsEnded() const
{
    QFile f(dir_ ? dir_->filePath("bytes.log") : QString());
    return f.open(QIODevice::ReadOnly) ? int(f.readAll().count('\n')) : 0;
}

QStringList partFiles(const QString &folder)
{
    return QDir(folder).entryList({QStringLiteral("*.tobra-part")}, QDir::Files, QDir::Name);
}

static char patternByte(qint64 i)
{
    const quint64 x = quint64(i);
    return char((x * 131u + (x >> 8) * 7u + (x >> 17)) & 0xffu);
}

bool writePatternFile(const QString &path, qint64 size)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QByteArray block(1 << 20, Qt::Uninitialized);
    for (qint64 done = 0; done < size;) {
        const qint64 n = qMin<qint64>(block.size(), size - done);
        for (qint64 i = 0; i < n; ++i)
            block[i] = patternByte(done + i);
        if (f.write(block.constData(), n) != n)
            return false;
        done += n;
    }
    return f.flush();
}

bool sameFileContents(const QString &a, const QString &b, QString *why)
{
    QFile fa(a), fb(b);
    QString problem;
    if (!fa.open(QIODevice::ReadOnly) || !fb.open(QIODevice::ReadOnly)) {
        problem = QStringLiteral("cannot open ") + (fa.isOpen() ? b : a);
    } else if (fa.size() != fb.size()) {
        problem = QStringLiteral("sizes differ: %1 vs %2").arg(fa.size()).arg(fb.size());
    } else {
        const QByteArray da = fa.readAll(), db = fb.readAll();
        const auto diff = std::mismatch(da.begin(), da.end(), db.begin(), db.end());
        if (diff.first != da.end())
            problem = QStringLiteral("first difference at byte %1").arg(diff.first - da.begin());
    }
    if (!problem.isEmpty())
        qWarning("%s and %s: %s", qPrintable(a), qPrintable(b), qPrintable(problem));
    if (why)
        *why = problem;
    return problem.isEmpty();
}

}  // namespace tobra::test
