// The update document through Qt's XML parser: what counts, and what is refused with a reason.
#include <QTest>

#include "client/auxiliary/ui/update_document.h"

namespace sentrel::client {

class UpdateDocumentTest : public QObject {
  Q_OBJECT

 private slots:
  void Parses_data() {
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<QString>("version");  // major.minor.build, or empty when refused
    QTest::addColumn<bool>("beta");
    QTest::addColumn<QString>("url_or_reason");  // the InfoUrl, or a part of the reason

    QTest::newRow("complete")
        << QByteArray(
               "<?xml version=\"1.0\"?><Update><ProductSKU>Sentrel</ProductSKU>"
               "<VersionMajor>5</VersionMajor><VersionMinor>5</VersionMinor>"
               "<VersionBuild>170</VersionBuild><InfoUrl> https://x.example/dl </InfoUrl>"
               "<isBetaBuild>1</isBetaBuild></Update>")
        << "5.5.170" << true << "https://x.example/dl";
    QTest::newRow("nested, first of each name, no beta element")
        << QByteArray(
               "<r><a><VersionMajor> 6 </VersionMajor></a><VersionMajor>9</VersionMajor>"
               "<VersionMinor>0</VersionMinor><VersionBuild>-1</VersionBuild></r>")
        << "6.0.-1" << false << "";
    QTest::newRow("beta only when 1")
        << QByteArray(
               "<r><VersionMajor>1</VersionMajor><VersionMinor>2</VersionMinor>"
               "<VersionBuild>3</VersionBuild><isBetaBuild>true</isBetaBuild></r>")
        << "1.2.3" << false << "";
    QTest::newRow("not well-formed")
        << QByteArray("<r><VersionMajor>1</VersionMinor></r>") << "" << false << "line 1";
    QTest::newRow("html error page")
        << QByteArray("<html><body><p>Not found<br></body></html>") << "" << false << "line 1";
    QTest::newRow("empty") << QByteArray() << "" << false << "line";
    QTest::newRow("version missing")
        << QByteArray("<r><VersionMajor>1</VersionMajor><VersionBuild>3</VersionBuild></r>") << ""
        << false << "VersionMinor is missing";
    QTest::newRow("version not a number")
        << QByteArray(
               "<r><VersionMajor>1</VersionMajor><VersionMinor>2a</VersionMinor>"
               "<VersionBuild>3</VersionBuild></r>")
        << "" << false << "\"2a\", which is not a number";
    QTest::newRow("beyond 32 bits")
        << QByteArray(
               "<r><VersionMajor>4294967297</VersionMajor><VersionMinor>2</VersionMinor>"
               "<VersionBuild>3</VersionBuild></r>")
        << "" << false << "not a number";
  }

  void Parses() {
    QFETCH(QByteArray, document);
    QFETCH(QString, version);
    QFETCH(bool, beta);
    QFETCH(QString, url_or_reason);
    UpdateInfo info;
    QString reason;
    const bool ok = ParseUpdateDocument(document, &info, &reason);
    QCOMPARE(ok, !version.isEmpty());
    if (ok) {
      QCOMPARE(QStringLiteral("%1.%2.%3")
                   .arg(info.version.major)
                   .arg(info.version.minor)
                   .arg(info.version.build),
               version);
      QCOMPARE(info.beta, beta);
      QCOMPARE(QString::fromStdU16String(info.info_url), url_or_reason);
    } else {
      QVERIFY2(reason.contains(url_or_reason), qPrintable(reason));
    }
  }
};

}  // namespace sentrel::client

QTEST_APPLESS_MAIN(sentrel::client::UpdateDocumentTest)
#include "update_document_test.moc"
