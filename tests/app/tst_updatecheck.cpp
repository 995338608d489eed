#include "app/connectormodel.h"
#include "support/connectortestenvironment.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// Answers every request with one canned HTTP response, or never answers at all.
class ManifestServer : public QObject
{
public:
    explicit ManifestServer(QByteArray response)
        : m_response(std::move(response))
    {
        m_server.listen(QHostAddress::LocalHost);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                socket->setParent(this);
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    socket->readAll();
                    ++requests;
                    if (m_response.isEmpty())
                        return;
                    socket->write(m_response);
                    socket->disconnectFromHost();
                });
            }
        });
    }

    QUrl url() const
    {
        return QUrl(u"http://127.0.0.1:"_s + QString::number(m_server.serverPort())
                    + u"/updates/dj-connector-macos.json"_s);
    }

    int requests = 0;

private:
    QTcpServer m_server;
    QByteArray m_response;
};

QByteArray httpAnswer(int status, const QByteArray &body)
{
    return "HTTP/1.1 " + QByteArray::number(status)
           + " X\r\nContent-Type: application/json\r\nContent-Length: " + QByteArray::number(body.size())
           + "\r\nConnection: close\r\n\r\n" + body;
}

} // namespace

class UpdateCheckTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void check_reportsEachOutcome_data();
    void check_reportsEachOutcome();
    void check_clearsThePreviousLinkAtStart();
    void supportURL_carriesProductVersionBuildAndSource();
};

void UpdateCheckTest::check_reportsEachOutcome_data()
{
    QTest::addColumn<QByteArray>("response");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("link");

    const QString unpublished = u"Update information is not published yet."_s;
    const QString upToDate = u"Tarvik DJ Connector is up to date."_s;
    QTest::newRow("newer") << httpAnswer(
        200, R"({"version":"1.0.7","build":9,"download_url":"https://t.example/d"})")
                           << u"Version 1.0.7 is available."_s << u"https://t.example/d"_s;
    QTest::newRow("same") << httpAnswer(
        200, R"({"version":"1.0.6","build":8,"download_url":"https://t.example/d"})")
                          << upToDate << QString();
    QTest::newRow("older") << httpAnswer(
        200, R"({"version":"1.0.5","build":7,"download_url":"https://t.example/d"})")
                           << upToDate << QString();
    QTest::newRow("string build") << httpAnswer(
        200, R"({"version":"1.0.7","build":"9","download_url":"https://t.example/d"})")
                                  << unpublished << QString();
    QTest::newRow("missing link") << httpAnswer(200, R"({"version":"1.0.7","build":9})") << unpublished
                                  << QString();
    QTest::newRow("file link") << httpAnswer(
        200, R"({"version":"1.0.7","build":9,"download_url":"file:///tmp/x"})")
                               << unpublished << QString();
    QTest::newRow("404") << httpAnswer(
        404, R"({"version":"1.0.7","build":9,"download_url":"https://t.example/d"})")
                         << unpublished << QString();
    QTest::newRow("no answer (timeout)") << QByteArray() << unpublished << QString();
}

void UpdateCheckTest::check_reportsEachOutcome()
{
    QFETCH(QByteArray, response);
    QFETCH(QString, message);
    QFETCH(QString, link);
    ManifestServer server(response);
    ConnectorTestEnvironment test;
    ConnectorEnvironment environment = test.make();
    environment.updateManifestURL = server.url();
    environment.updateTimeoutMs = 500;
    ConnectorModel model(std::move(environment), ConnectorModel::Activation::actionsOnly);

    QSignalSpy finished(&model, &ConnectorModel::updateCheckFinished);
    model.checkForUpdates();
    QVERIFY(model.isCheckingForUpdates());
    QCOMPARE(model.updateMessage(), u"Checking for updates…"_s);
    QVERIFY(finished.wait(10000));
    QCOMPARE(model.updateMessage(), message);
    QCOMPARE(model.downloadUpdateURL().toString(), link);
    QVERIFY(!model.isCheckingForUpdates());
    QCOMPARE(server.requests, 1);
}

void UpdateCheckTest::check_clearsThePreviousLinkAtStart()
{
    ManifestServer server(
        httpAnswer(200, R"({"version":"2","build":10,"download_url":"https://t.example/d"})"));
    ConnectorTestEnvironment test;
    ConnectorEnvironment environment = test.make();
    environment.updateManifestURL = server.url();
    ConnectorModel model(std::move(environment), ConnectorModel::Activation::actionsOnly);
    QSignalSpy finished(&model, &ConnectorModel::updateCheckFinished);
    model.checkForUpdates();
    QVERIFY(finished.wait(10000));
    QVERIFY(!model.downloadUpdateURL().isEmpty());

    model.checkForUpdates();
    QVERIFY(model.downloadUpdateURL().isEmpty());
    QVERIFY(finished.wait(10000));
}

void UpdateCheckTest::supportURL_carriesProductVersionBuildAndSource()
{
    ConnectorTestEnvironment test;
    ConnectorModel model(test.make(), ConnectorModel::Activation::actionsOnly);
    const QUrl url = model.supportURL();
    QCOMPARE(url.scheme(), u"https"_s);
    QCOMPARE(url.path(), u"/contact-support.php"_s);
    QCOMPARE(url.query(), u"product=dj-connector&version=1.0.6&build=8&source=in-app"_s);
}

QTEST_GUILESS_MAIN(UpdateCheckTest)
#include "tst_updatecheck.moc"
