// The small rules an upload is built from: its temporary name, the choice
// and reading of a server's checksum, and the journal of unfinished uploads.
#include "ftp/checksum.h"
#include "ftp/tempname.h"
#include "ftp/uploadjournal.h"

#include <QtTest>

#include <thread>

using namespace tobra;

namespace {

JournalEntry entryFor(const QString &local, const QString &temp, qint64 pid = 0)
{
    JournalEntry e;
    e.server = "ftp.example.com:21";
    e.folder = "/uploads/T1";
    e.name = "REPORT.ZIP";
    e.temp = temp;
    e.local = local;
    e.size = 1000;
    e.modified = 1700000000000;
    e.started = QDateTime::currentDateTimeUtc();
    e.pid = pid;
    return e;
}

}  // namespace

class TestUploadParts : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;

private slots:
    void temporaryNames()
    {
        QSet<QString> seen;
        for (int i = 0; i < 1000; ++i) {
            const QString t = newTemporaryRemoteName("REPORT.ZIP");
            QVERIFY2(QRegularExpression("^REPORT\\.ZIP\\.[0-9a-f]{16}\\.tobra-part$").match(t).hasMatch(), qPrintable(t));
            QVERIFY(isTemporaryRemoteName(t));
            seen.insert(t);
        }
        QCOMPARE(seen.size(), 1000);
        // A long name (of characters taking several bytes) is cut to fit.
        const QString longName = QString(200, QChar(0x00e9)) + ".ZIP";
        const QString t = newTemporaryRemoteName(longName);
        QVERIFY(t.toUtf8().size() <= 255 && isTemporaryRemoteName(t) && longName.startsWith(t.left(20)));
        QVERIFY(!isTemporaryRemoteName("REPORT.ZIP.tobra-part") && !isTemporaryRemoteName("REPORT.ZIP"));
    }

    // What each kind of server offers, and what is chosen from it.
    void checksumChoice()
    {
        const struct { QStringList feat; QString label; bool needsOpts; } rows[] = {
            // As Debian 12's proftpd answers.
            {{"211-Features:", " HASH CRC32;MD5;SHA-1*;SHA-256;SHA-512;", " RANG STREAM", " XSHA256", "211 End"}, "SHA-256 (HASH)", true},
            {{"211-Features:", " HASH SHA-256*;SHA-1;MD5;CRC32", "211 End"}, "SHA-256 (HASH)", false},
            {{"211-Features:", "HASH MD5*;CRC32", "211 End"}, "MD5 (HASH)", false},
            {{"211-Features:", " XMD5", " XCRC", " XSHA1", "211 End"}, "SHA-1 (XSHA1)", false},
            {{"211-Features:", " xcrc", "211 End"}, "CRC32 (XCRC)", false},
            {{"211-Features:", " HASH WHIRLPOOL*", " XSHA256", "211 End"}, "SHA-256 (XSHA256)", false},
            {{"211-Features:", " MLST size*;", " SIZE", "211 End"}, "", false},
            {{"500 FEAT not understood"}, "", false},
        };
        for (const auto &r : rows) {
            const std::optional<ChecksumPlan> p = chooseChecksum(parseFeatures(r.feat));
            QCOMPARE(p ? p->label() : QString(), r.label);
            if (p)
                QVERIFY2(p->needsOpts == r.needsOpts, qPrintable(r.label));
        }
        QVERIFY(parseFeatures({"211-Features:", " MLST size*;", "211 End"}).has("MLST"));
        QVERIFY(!parseFeatures({"500 no"}).answered);
    }

    // The commands for a whole file and for its first bytes, and the digest
    // read back from each kind of reply.
    void checksumCommandsAndReplies()
    {
        ChecksumPlan hash = *chooseChecksum(parseFeatures({"211-F", " HASH SHA-256", " RANG STREAM", "211 E"}));
        ChecksumPlan x = *chooseChecksum(parseFeatures({"211-F", " XCRC", "211 E"}));
        QCOMPARE(checksumCommands(hash, "/u/A B"), QStringList{"HASH /u/A B"});
        QCOMPARE(checksumCommands(hash, "/u/A", 100), QStringList{"HASH /u/A"});
        QCOMPARE(checksumCommands(x, "/u/A", 100), QStringList{"XCRC /u/A 0 100"});
        QCOMPARE(selectHashCommand(hash), QString("OPTS HASH SHA-256"));
        const QByteArray sha(64, 'a');
        const struct { ChecksumPlan plan; int code; QString text; QByteArray digest; } rows[] = {
            {hash, 213, "213 SHA-256 0-100 " + QString(64, 'A') + " /u/A.ZIP.0123456789abcdef.tobra-part", sha},
            {hash, 213, "213 SHA-1 0-99 " + QString(64, 'a') + " A", {}},        // another algorithm
            {hash, 213, "213 SHA-256 0-99 " + QString(63, 'a') + " A", {}},      // short
            {hash, 213, "213 SHA-256 0-99 " + QString(63, 'a') + "g A", {}},     // not hex
            {hash, 550, "550 No such file", {}},
            {x, 250, "250 1C291CA3", "1c291ca3"},
            {x, 250, "250 291CA3", "00291ca3"},                                  // leading zeros left out
            {x, 213, "213 7", "00000007"},
            {x, 250, "250 123456789", {}},
            {x, 502, "502 Command not implemented", {}},
        };
        for (const auto &r : rows)
            QCOMPARE(digestFromReply(r.plan, r.code, r.text), r.digest);
    }

    // Known answers, and the same digest whether the bytes come at once or
    // in pieces.
    void localDigests()
    {
        const QByteArray digits = "123456789";
        const struct { DigestAlgorithm algorithm; QByteArray data, hex; } rows[] = {
            {DigestAlgorithm::Sha256, "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
            {DigestAlgorithm::Sha1, "abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
            {DigestAlgorithm::Md5, "abc", "900150983cd24fb0d6963f7d28e17f72"},
            {DigestAlgorithm::Crc32, digits, "cbf43926"},
            {DigestAlgorithm::Crc32, "", "00000000"},
        };
        for (const auto &r : rows) {
            LocalDigest whole(r.algorithm), pieces(r.algorithm);
            whole.add(r.data.constData(), r.data.size());
            for (char c : r.data)
                pieces.add(&c, 1);
            QCOMPARE(whole.hex(), r.hex);
            QCOMPARE(pieces.hex(), r.hex);
            pieces.reset();
            QCOMPARE(pieces.hex(), LocalDigest(r.algorithm).hex());
        }
    }

    // An entry is found again by a later run for the same local file,
    // server and folder; a stale one, a damaged file or one that a running
    // program holds are not.
    void journalEntries()
    {
        const QString path = dir_.filePath("j1/uploads.journal");
        UploadJournal j(path);
        QVERIFY(!j.find(entryFor("/a/report.zip", "")));
        j.put(entryFor("/a/report.zip", "T1"));
        j.put(entryFor("/b/report.zip", "T2"));
        QCOMPARE(j.find(entryFor("/a/report.zip", ""))->temp, QString("T1"));
        // Local paths are private, whatever the umask.
        QCOMPARE(QFileInfo(path).permissions() & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
        // A new upload of the same target replaces the finished run's entry.
        j.put(entryFor("/a/report.zip", "T3"));
        QCOMPARE(j.entries().size(), 2);
        QCOMPARE(j.find(entryFor("/a/report.zip", ""))->temp, QString("T3"));
        JournalEntry elsewhere = entryFor("/a/report.zip", "");
        elsewhere.folder = "/uploads/T2";
        QVERIFY(!j.find(elsewhere));
        // The upload of a program still running is not taken over.
        j.put(entryFor("/c/report.zip", "T4", QCoreApplication::applicationPid() == 1 ? 2 : 1));
        QVERIFY(!j.find(entryFor("/c/report.zip", "")));
        // Removing needs the temporary name: another run's entry stays.
        j.remove(entryFor("/b/report.zip", "T9"));
        QVERIFY(j.find(entryFor("/b/report.zip", "")));
        j.remove(entryFor("/b/report.zip", "T2"));
        QVERIFY(!j.find(entryFor("/b/report.zip", "")));
        // A week old: dropped.
        JournalEntry old = entryFor("/d/report.zip", "T5");
        old.started = QDateTime::currentDateTimeUtc().addDays(-8);
        j.put(old);
        QVERIFY(!j.find(old));
        // Damaged or not ours to read: ignored, and written anew.
        for (const QByteArray &bad : {QByteArray("{not json"), QByteArray("{\"an\":\"object\"}"), QByteArray(5 << 20, ' ')}) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bad) == bad.size());
            f.close();
            QVERIFY(j.entries().isEmpty());
            j.put(entryFor("/e/report.zip", "T6"));
            QCOMPARE(j.entries().size(), 1);
        }
    }

    // Two programs writing at once keep each other's entries.
    void journalWritersAtOnce()
    {
        const QString path = dir_.filePath("j2/uploads.journal");
        auto writer = [path](int w) {
            UploadJournal j(path);
            for (int i = 0; i < 20; ++i)
                j.put(entryFor(QString("/w%1/f%2").arg(w).arg(i), QString("T%1-%2").arg(w).arg(i)));
        };
        std::thread a(writer, 1), b(writer, 2);
        a.join();
        b.join();
        QCOMPARE(UploadJournal(path).entries().size(), 40);
    }
};

QTEST_GUILESS_MAIN(TestUploadParts)
#include "test_uploadparts.moc"
