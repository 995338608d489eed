#include "app/connectormodel.h"
#include "core/activitylog.h"
#include "support/connectorprocess.h"
#include "support/connectortestenvironment.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>

using namespace Qt::StringLiterals;

// The model with an activity log, driven by a phone over loopback and by the window.
class DeviceActivityTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void run_listsTheDeviceAndLogsEveryEventWithoutSecrets();
};

void DeviceActivityTest::run_listsTheDeviceAndLogsEveryEventWithoutSecrets()
{
    ConnectorTestEnvironment test;
    ConnectorEnvironment environment = test.make();
    const QString logPath = test.fixture.path(u"state/activity.log"_s);
    environment.activityLog = std::make_shared<ActivityLog>(logPath);
    const QString script = u"Vows by the lake\n[CUE] First dance"_s;
    QString code;
    QString token;
    {
        ConnectorModel model(environment);
        QTRY_VERIFY_WITH_TIMEOUT(model.serverStatus().startsWith(u"Ready on private network port "_s), 10000);
        const auto port =
            quint16(QRegularExpression(u"port (\\d+)"_s).match(model.serverStatus()).captured(1).toUInt());
        code = model.pairingCode();
        token = loopbackRequest(port, "POST /api/pair", R"({"code":")" + code.toUtf8() + R"("})")
                    .body[u"token"_s]
                    .toString();
        QCOMPARE(
            loopbackRequest(port, "POST /api/command", R"({"command":"play","deck":"left"})", token).status,
            200);
        QCOMPARE(loopbackRequest(port, "POST /api/pair", R"({"code":"x"})").status, 403);
        const QJsonObject body{{u"script"_s, script}};
        QCOMPARE(loopbackRequest(port, "POST /api/script", QJsonDocument(body).toJson(), token).status, 200);

        QTRY_COMPARE(model.connectedDevices(), 1);
        const QVariantMap device = model.devices().value(0).toMap();
        QCOMPARE(device.value(u"name"_s), u"Tarvik DJ Remote"_s);
        QCOMPARE(device.value(u"address"_s), u"127.0.0.1"_s);
        QCOMPARE(device.value(u"presence"_s), u"Connected"_s);
        model.forgetDevice(device.value(u"id"_s).toString());
        QCOMPARE(model.devices().size(), 0);
        QCOMPARE(model.connectedDevices(), 0);
        QCOMPARE(loopbackRequest(port, "GET /api/status", {}, token).status, 401);
        model.sendTestCommand(u"stop"_s);
        QTRY_COMPARE(model.activityEntries().size(), 7);
        QCOMPARE(model.activityEntries().value(0).toMap().value(u"device"_s), u"window"_s);
    }
    // Its release writes what is still queued.
    environment.activityLog.reset();

    QFile file(logPath);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString log = QString::fromUtf8(file.readAll());
    QStringList kinds;
    for (const QString &line : log.split(u'\n', Qt::SkipEmptyParts))
        kinds << line.section(u'\t', 1, 1);
    QCOMPARE(kinds, (QStringList{u"midi"_s, u"pairing"_s, u"command"_s, u"wrongcode"_s, u"script"_s,
                                 u"forget"_s, u"command"_s}));
    QVERIFY(log.contains(u"\tcommand\tPlay sent to SERATO left deck.\tTarvik DJ Remote 127.0.0.1 "_s));
    QVERIFY(!log.contains(token) && !log.contains(code) && !log.contains(u"lake"_s)
            && !log.contains(u"First dance"_s));
}

QTEST_GUILESS_MAIN(DeviceActivityTest)
#include "tst_deviceactivity.moc"
