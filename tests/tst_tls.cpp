// Encrypted connections and logins to an office server: a certificate authority of the test's own,
// a server certificate for localhost signed by it, and a server of this suite's own with TLS on. A
// desk that checks the certificate (sslmode=verify-full) connects encrypted; a wrong authority or a
// wrong name is refused with the certificate's reason, and the tool writes no server.conf for
// them. A login whose password no password file gives is told apart from a refused one.
#include "data/Connection.h"
#include "data/DbError.h"
#include "data/Recordset.h"
#include "data/ServerConfig.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QtTest>
#include <unistd.h>

namespace {

// Runs a program to its end; false, with what it said, when it failed.
bool Run(const QString& program, const QStringList& arguments, QString* output) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    const bool finished = process.waitForFinished(60000);
    *output = QString::fromUtf8(process.readAll());
    return finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

QString ValueOfOneRow(db::Connection& connection, const QString& statement) {
    db::Recordset rs;
    rs.Open(statement, connection);
    return rs.AtEnd() ? QString() : QString::fromUtf8(rs.FieldText(0));
}

} // namespace

class TestTls : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void checkedConnectionIsEncrypted();
    void certificateThatDoesNotHoldIsRefused_data();
    void certificateThatDoesNotHoldIsRefused();
    void toolWritesServerConfOnlyForACertificateThatHolds();
    void loginWithoutItsPasswordIsToldApart();

private:
    // Makes a key and a certificate in the folder: self-signed (an authority), or signed by the
    // authority, for localhost.
    void makeCertificate(const QString& name, const QString& subject, const QString& authority);
    // The URI of the suite's server on `host`, checking its certificate against `authority`.
    QString uri(const QString& host, const QString& authority) const;

    PrivateServer server_;
    QString port_;
    QTemporaryDir files_;
};

void TestTls::makeCertificate(const QString& name, const QString& subject,
                              const QString& authority) {
    const QString key = files_.filePath(name + QStringLiteral(".key"));
    const QString certificate = files_.filePath(name + QStringLiteral(".crt"));
    QString output;
    if (authority.isEmpty()) {
        QVERIFY2(Run(QStringLiteral("openssl"),
                     {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "30", "-subj",
                      subject, "-keyout", key, "-out", certificate},
                     &output),
                 qPrintable(output));
        return;
    }
    const QString request = files_.filePath(name + QStringLiteral(".csr"));
    const QString extensions = files_.filePath(name + QStringLiteral(".ext"));
    QFile names(extensions);
    QVERIFY(names.open(QIODevice::WriteOnly));
    names.write("subjectAltName = DNS:localhost\n");
    names.close();
    QVERIFY2(Run(QStringLiteral("openssl"),
                 {"req", "-newkey", "rsa:2048", "-nodes", "-subj", subject, "-keyout", key, "-out",
                  request},
                 &output),
             qPrintable(output));
    QVERIFY2(Run(QStringLiteral("openssl"),
                 {"x509", "-req", "-in", request, "-CA", files_.filePath(authority + ".crt"),
                  "-CAkey", files_.filePath(authority + ".key"), "-CAcreateserial", "-days", "30",
                  "-extfile", extensions, "-out", certificate},
                 &output),
             qPrintable(output));
}

QString TestTls::uri(const QString& host, const QString& authority) const {
    return QStringLiteral("postgresql://orvandel@%1:%2/orvandel_test?sslmode=verify-full&"
                          "sslrootcert=%3")
        .arg(host, port_, authority);
}

void TestTls::initTestCase() {
    QString conninfo;
    QVERIFY2(server_.Start(&conninfo), qPrintable(conninfo));
    port_ = conninfo.section(QStringLiteral("port="), 1).section(QLatin1Char(' '), 0, 0);
    makeCertificate(QStringLiteral("office-ca"), QStringLiteral("/CN=Office CA"), QString());
    makeCertificate(QStringLiteral("other-ca"), QStringLiteral("/CN=Another CA"), QString());
    makeCertificate(QStringLiteral("server"), QStringLiteral("/CN=localhost"),
                    QStringLiteral("office-ca"));
    // The server reads its key and certificate from its own folder; the key only its owner reads.
    const QString key = server_.path() + QStringLiteral("/server.key");
    const QString certificate = server_.path() + QStringLiteral("/server.crt");
    QVERIFY(QFile::copy(files_.filePath("server.key"), key));
    QVERIFY(QFile::copy(files_.filePath("server.crt"), certificate));
    QFile::setPermissions(key, QFile::ReadOwner | QFile::WriteOwner);
    if (getuid() == 0) { // the server runs as postgres then
        QString output;
        QVERIFY2(Run(QStringLiteral("chown"), {"postgres:", key, certificate}, &output),
                 qPrintable(output));
    }
    db::Connection admin;
    admin.Open(serverconf::ServerConnectionString(conninfo), QString(), QString());
    admin.Execute(QStringLiteral("ALTER SYSTEM SET ssl_cert_file = '%1'").arg(certificate));
    admin.Execute(QStringLiteral("ALTER SYSTEM SET ssl_key_file = '%1'").arg(key));
    admin.Execute(QStringLiteral("ALTER SYSTEM SET ssl = on"));
    QCOMPARE(ValueOfOneRow(admin, QStringLiteral("SELECT pg_reload_conf()")), QStringLiteral("t"));
    QTRY_COMPARE_WITH_TIMEOUT(ValueOfOneRow(admin, QStringLiteral("SHOW ssl")),
                              QStringLiteral("on"), 30000);
}

void TestTls::checkedConnectionIsEncrypted() {
    db::Connection desk;
    desk.Open(serverconf::ServerConnectionString(
                  uri(QStringLiteral("localhost"), files_.filePath("office-ca.crt"))),
              QString(), QString());
    QCOMPARE(ValueOfOneRow(desk, QStringLiteral("SELECT ssl FROM pg_stat_ssl WHERE pid = "
                                                "pg_backend_pid()")),
             QStringLiteral("t"));
}

void TestTls::certificateThatDoesNotHoldIsRefused_data() {
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("authority");
    QTest::addColumn<QString>("reason");
    QTest::newRow("another authority") << "localhost"
                                       << "other-ca.crt"
                                       << "certificate verify failed";
    QTest::newRow("another name") << "127.0.0.1"
                                  << "office-ca.crt"
                                  << "does not match host name";
    QTest::newRow("no authority file") << "localhost"
                                       << "missing.crt"
                                       << "does not exist";
}

void TestTls::certificateThatDoesNotHoldIsRefused() {
    QFETCH(QString, host);
    QFETCH(QString, authority);
    QFETCH(QString, reason);
    db::Connection desk;
    try {
        desk.Open(serverconf::ServerConnectionString(uri(host, files_.filePath(authority))),
                  QString(), QString());
        QFAIL("the connection was made");
    } catch (const db::Error& error) {
        QCOMPARE(int(error.kind()), int(db::ErrorKind::CertificateRefused));
        QVERIFY2(error.message().contains(reason), qPrintable(error.message()));
    }
    QVERIFY(!desk.IsOpen());
}

void TestTls::toolWritesServerConfOnlyForACertificateThatHolds() {
    QTemporaryDir dir;
    const QString conf = serverconf::PathIn(dir.path());
    const ToolRun refused = RunTool(
        dir.path(), {"server", uri(QStringLiteral("localhost"), files_.filePath("other-ca.crt"))});
    QCOMPARE(refused.exitCode, 1);
    QVERIFY2(refused.err.contains(QLatin1String("certificate")), qPrintable(refused.err));
    QVERIFY(!QFile::exists(conf));
    const QString good = uri(QStringLiteral("localhost"), files_.filePath("office-ca.crt"));
    const ToolRun written = RunTool(dir.path(), {"server", good});
    QVERIFY2(written.exitCode == 0, qPrintable(written.err));
    QFile file(conf);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(file.readAll()).trimmed(), good);
}

// A role that must give a password, on a desk whose password file does not hold it: told apart
// from a refused login, so that the message can say where the password belongs.
void TestTls::loginWithoutItsPasswordIsToldApart() {
    QString conninfo =
        QStringLiteral("host=127.0.0.1 port=%1 user=orvandel dbname=orvandel_test").arg(port_);
    {
        db::Connection admin;
        admin.Open(serverconf::ServerConnectionString(conninfo), QString(), QString());
        admin.Execute(QStringLiteral("DO $$BEGIN CREATE ROLE orvandel_clerk LOGIN PASSWORD "
                                     "'secret'; EXCEPTION WHEN duplicate_object THEN NULL; END$$"));
        // The first matching line of the server's access rules asks this role for a password.
        QFile rules(server_.path() + QStringLiteral("/data/pg_hba.conf"));
        QVERIFY(rules.open(QIODevice::ReadOnly));
        const QByteArray old = rules.readAll();
        rules.close();
        QVERIFY(rules.open(QIODevice::WriteOnly | QIODevice::Truncate));
        rules.write("host all orvandel_clerk 127.0.0.1/32 scram-sha-256\n" + old);
        rules.close();
        QCOMPARE(ValueOfOneRow(admin, QStringLiteral("SELECT pg_reload_conf()")),
                 QStringLiteral("t"));
    }
    qputenv("PGPASSFILE", files_.filePath("no-such-pgpass").toUtf8());
    const auto restore = qScopeGuard([] { qunsetenv("PGPASSFILE"); });
    const QString clerk = QStringLiteral("host=127.0.0.1 port=%1 user=orvandel_clerk "
                                         "dbname=orvandel_test")
                              .arg(port_);
    // The reload is read by new connections a moment later.
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            try {
                db::Connection desk;
                desk.Open(serverconf::ServerConnectionString(clerk), QString(), QString());
                return false;
            } catch (const db::Error& error) {
                return error.kind() == db::ErrorKind::PasswordMissing;
            }
        }(),
        30000);
    // With the wrong password it is a refused login.
    try {
        db::Connection desk;
        desk.Open(serverconf::ServerConnectionString(clerk + QStringLiteral(" password=wrong")),
                  QString(), QString());
        QFAIL("a wrong password was taken");
    } catch (const db::Error& error) {
        QCOMPARE(int(error.kind()), int(db::ErrorKind::AuthRefused));
    }
}

QTEST_GUILESS_MAIN(TestTls)
#include "tst_tls.moc"
