#include "app/connectormodel.h"
#include "support/connectortestenvironment.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// Answers every request on loopback with one canned HTTP response, or never answers at all.
class ManifestServer : public QObject
{
public:
    explicit ManifestServer(QByteArray response)
    {
        m_server.listen(QHostAddress::LocalHost);
        connect(&m_server, &QTcpServer::newConnection, this, [this, response] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                socket->setParent(this);
                connect(socket, &QTcpSocket::readyRead, socket, [socket, response] {
                    socket->readAll();
                    if (!response.isEmpty()) {
                        socket->write(response);
                        socket->disconnectFromHost();
                    }
                });
            }
        });
    }

    QUrl url() const { return QUrl(u"http://127.0.0.1:%1/updates/m.json"_s.arg(m_server.serverPort())); }

private:
    QTcpServer m_server;
};

} // namespace

// The update check as the settings sheet and --check-for-updates see it, against a loopback server.
class UpdateCheckTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void check_reportsEachOutcome_data();
    void check_reportsEachOutcome();
};

void UpdateCheckTest::check_reportsEachOutcome_data()
{
    QTest::addColumn<int>("status"); // 0: no answer at all
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("shown"); // the message and the download link
    QTest::addColumn<bool>("succeeded");

    const QByteArray newer = R"({"version":"1.0.7","build":9,"download_url":"https://t.example/d"})";
    const QString unpublished = u"Update information is not published yet. "_s;
    QTest::newRow("newer") << 200 << newer << u"Version 1.0.7 is available. https://t.example/d"_s << true;
    QTest::newRow("same build") << 200
                                << R"({"version":"1.0.6","build":8,"download_url":"https://t.example/d"})"_ba
                                << u"Tarvik DJ Connector is up to date. "_s << true;
    QTest::newRow("undecodable manifest")
        << 200 << R"({"version":"1.0.7","build":"9"})"_ba << unpublished << false;
    // Qt reports 4xx and 5xx as errors itself, but not a 3xx it does not follow.
    QTest::newRow("multiple choices") << 300 << newer << unpublished << false;
    QTest::newRow("not found") << 404 << newer << unpublished << false;
    QTest::newRow("server error") << 503 << newer << unpublished << false;
    QTest::newRow("no answer (timeout)") << 0 << QByteArray() << unpublished << false;
}

void UpdateCheckTest::check_reportsEachOutcome()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(QString, shown);
    QFETCH(bool, succeeded);
    ManifestServer server(status == 0 ? QByteArray()
                                      : "HTTP/1.1 " + QByteArray::number(status)
                                            + " X\r\nContent-Length: " + QByteArray::number(body.size())
                                            + "\r\nConnection: close\r\n\r\n" + body);
    ConnectorTestEnvironment test;
    ConnectorEnvironment environment = test.make();
    environment.updateManifestURL = server.url();
    environment.updateTimeoutMs = 500;
    ConnectorModel model(std::move(environment), ConnectorModel::Activation::actionsOnly);
    QSignalSpy finished(&model, &ConnectorModel::updateCheckFinished);

    // The second check starts without the first one's link.
    for (int check = 0; check < 2; ++check) {
        model.checkForUpdates();
        QVERIFY(model.isCheckingForUpdates());
        QCOMPARE(model.updateMessage(), u"Checking for updates…"_s);
        QVERIFY(model.downloadUpdateURL().isEmpty());
        QVERIFY(finished.wait(10000));
        QCOMPARE(model.updateMessage() + u' ' + model.downloadUpdateURL().toString(), shown);
        QCOMPARE(finished.takeFirst().value(0).toBool(), succeeded);
        QVERIFY(!model.isCheckingForUpdates());
    }
}

QTEST_GUILESS_MAIN(UpdateCheckTest)
#include "tst_updatecheck.moc"
